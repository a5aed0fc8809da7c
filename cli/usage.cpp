// The help texts of tarvex-cli.

#include "cli/options.h"
#include "corvane/platform/shared_library.h"

namespace cli {
namespace {

constexpr const char* kCommon =
    "Common options:\n"
    "  --plugin PATH    the model plug-in (default: model" CORVANE_LIBRARY_SUFFIX
    " beside this program)\n"
    "  --json           one JSON object per line: status lines, progress codes, factory\n"
    "                   rows, message boxes, results and the summary\n"
    "  --simulate [N]   attach N simulated TQ4410 phones first (default 1); without files,\n"
    "                   write a sample firmware set and verify the phone byte for byte after\n"
    "                   (the phones come from tarvex-sim" CORVANE_LIBRARY_SUFFIX
    " beside this program)\n"
    "  --wait SECONDS   how long to wait for a phone port to appear (default 60; 'forever')\n"
    "  --no-tty         plain lines only, no progress bars\n"
    "  --allow-unused   run a set with files that no step of the plug-in would write (they\n"
    "                   are named, not written); without it the plug-in's check refuses it\n"
    "  --station NAME   the station its records name (default [Records] Station, else the\n"
    "                   host name); --job TEXT labels them with the line's job\n"
    "  --records URL    the line's PostgreSQL server the records go to (no password in it)\n"
    "  --help           this help\n"
    "\n"
    "Before any phone is touched, a plug-in that can check files reads every file of the run\n"
    "with its own readers (and that --erase has the file it needs); a refusal names the file.\n"
    "\n"
    "Exit status: 0 every phone succeeded; 1 a phone failed, a given file was not written\n"
    "(see --allow-unused) or a verification failed;\n"
    "2 bad arguments or unusable files (the plug-in's check included); 3 plug-in (or\n"
    "--simulate's module) missing or lacking an export; 4 no phone port within the wait;\n"
    "130 Ctrl-C, 143 SIGTERM: every phone's run cancelled and cleaned up after (Ctrl-C again\n"
    "ends at once).\n";

constexpr const char* kOverview =
    "usage: tarvex-cli COMMAND [OPTIONS] [FILES]\n"
    "\n"
    "Writes firmware into TQ4410 phones over their USB serial ports through the model plug-in.\n"
    "\n"
    "Commands:\n"
    "  ports                                 the phone ports found, and why others were not\n"
    "  doctor                                what keeps a phone port from being used, and the\n"
    "                                        command that fixes each problem\n"
    "  download [--port P] [--erase W] FILE...   normal download of image files\n"
    "  factory [--port P] [--erase cp] CP_FILE AP_FILE   ROM-copy download\n"
    "  mdm [--port P] [--mdm FILE] AP_FILE    modem (MDM) and application processor download\n"
    "  upload [--port P] --out FILE --sectors N --address A   read the phone's memory back\n"
    "  multi download|factory ...            the same download on every phone port found\n"
    "  records [show ID | sync]              the records of past runs\n"
    "\n"
    "'tarvex-cli COMMAND --help' tells more about each.\n\n";

constexpr const char* kPorts =
    "usage: tarvex-cli ports [--json]\n"
    "\n"
    "Lists the phone ports that discovery finds (number, Linux name, description, USB ids) and\n"
    "the other USB serial ports with the reason each was not taken. The numbers are what\n"
    "--port takes.\n\n";

constexpr const char* kDoctor =
    "usage: tarvex-cli doctor [--json]\n"
    "\n"
    "Examines every USB serial port of this machine: its description and USB ids, whether the\n"
    "phone filter takes it and why not, whether you may open it (the group that grants it and\n"
    "whether you are in it), which other process holds it open, whether a running ModemManager\n"
    "leaves it alone, and whether the udev rule is installed. For a USB serial port the filter\n"
    "refuses it gives the usb-descriptions.txt line that would make it a phone port, and the\n"
    "file to add it to; for each problem, the command that fixes it.\n"
    "\n"
    "  --json   one JSON object per line: a \"port\" per port, \"system\", then \"verdict\"\n"
    "\n"
    "Exit status: 0 there is a phone port and every one can be used; 1 there is none (plug\n"
    "the phone in, in download mode) or one cannot be used; 2 bad arguments.\n\n";

constexpr const char* kDownload =
    "usage: tarvex-cli download [--port N|PATH] [--erase ap,cp,userdata] FILE...\n"
    "\n"
    "Normal download. The plug-in types, judges and orders the files (at most 20; a file\n"
    "listed twice is taken once; names it does not know come after the known ones). The files\n"
    "it types are read into memory first, partition images stream from their paths; one that\n"
    "cannot be read stops the run before a phone is touched. --erase: ap = the whole eMMC, cp = "
    "the modem's flash, userdata = the user-data\n"
    "partition. Without --port the first phone port found is used, waiting for one to appear.\n\n";

constexpr const char* kFactory =
    "usage: tarvex-cli factory [--port N|PATH] [--erase cp] CP_FILE AP_FILE\n"
    "\n"
    "ROM-copy download: CP_FILE is the modem's factory file (*.fls), AP_FILE the eMMC factory\n"
    "file (*.bin). --erase cp erases the whole modem flash first.\n\n";

constexpr const char* kMdm =
    "usage: tarvex-cli mdm [--port N|PATH] [--mdm MDM_FILE] AP_FILE\n"
    "\n"
    "MDM download: with --mdm the modem processor's NAND partitions first, then the\n"
    "application processor's image AP_FILE.\n\n";

constexpr const char* kUpload =
    "usage: tarvex-cli upload [--port N|PATH] --out FILE --sectors N --address A\n"
    "\n"
    "Reads N (at least 1) 512-byte sectors from address A (decimal or 0x...) of the phone\n"
    "into FILE.\n\n";

constexpr const char* kMulti =
    "usage: tarvex-cli multi download [--erase ap,cp,userdata] [--count N] [--max M] FILE...\n"
    "       tarvex-cli multi factory [--erase cp] [--count N] [--max M] CP_FILE AP_FILE\n"
    "\n"
    "Runs the same download on every phone port found, up to M (1 to 16, default 16) at once,\n"
    "each phone started as its port appears, each with its own progress line. When a phone's\n"
    "run ends it can be unplugged and the next one plugged in; a port is started again only\n"
    "after it has gone away. It stops after --count phones, or once no phone has been running\n"
    "or appeared for --wait seconds. With --simulate N it stops after those N phones.\n\n";

constexpr const char* kRecords =
    "usage: tarvex-cli records [--since DATE] [--serial S] [--station NAME] [--verdict WORD]\n"
    "                          [--simulated] [--json|--csv]\n"
    "       tarvex-cli records show ID\n"
    "       tarvex-cli records sync\n"
    "\n"
    "Every run leaves a record: station, phone, files with their SHA-256, verdict and status\n"
    "lines. 'records' lists them (from the line's server when [Records] Server or --records\n"
    "names one that answers, else from this station's file), newest first; DATE is YYYY-MM-DD\n"
    "or an ISO 8601 time, UTC unless it carries an offset; --serial matches the USB serial or\n"
    "the phone's PID; WORD is pass, fail, cancelled or refused. Simulated phones' records are\n"
    "shown only with --simulated. 'show' prints one record (an id prefix will do); 'sync'\n"
    "delivers what this station has not yet delivered to the line's server.\n\n";

}  // namespace

std::string UsageText(Command command, bool multi) {
  std::string text = kOverview;
  if (multi) {
    text = kMulti;
  } else if (command == Command::kPorts) {
    text = kPorts;
  } else if (command == Command::kDoctor) {
    return kDoctor;  // the common options are for the commands that run phones
  } else if (command == Command::kDownload) {
    text = kDownload;
  } else if (command == Command::kFactory) {
    text = kFactory;
  } else if (command == Command::kMdm) {
    text = kMdm;
  } else if (command == Command::kUpload) {
    text = kUpload;
  } else if (command == Command::kRecords) {
    return kRecords;
  }
  return text + kCommon;
}

}  // namespace cli
