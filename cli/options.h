#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/interrupts.h"
#include "corvane/plugin/exports.h"

// The command line of tarvex-cli, parsed and checked before anything touches a phone.
namespace cli {

enum class Command { kNone, kPorts, kDoctor, kDownload, kFactory, kMdm, kUpload, kRecords };

// Exit statuses. 0 only when every phone succeeded (and a simulated phone's stores matched).
enum ExitStatus : int {
  kExitOk = 0,
  kExitRunFailed = 1,  // a phone's run failed, or a simulated phone's stores do not match
  kExitUsage = 2,      // bad arguments or files that cannot be used
  // The plug-in (or --simulate's module) cannot be loaded or lacks an export, or the command
  // needs a part this build leaves out.
  kExitPlugin = 3,
  kExitNoPhone = 4,  // no phone port appeared within the wait
  // Interrupted: every phone's run was cancelled, waited for and cleaned up after.
  kExitInterrupted = platform::kInterruptStatus,  // Ctrl-C
  kExitTerminated = platform::kTerminateStatus,   // SIGTERM
};

// multi runs at most this many phones at once, unless --max says fewer.
inline constexpr int kMaxAtOnce = 16;

struct Options {
  Command command = Command::kNone;
  bool multi = false;  // "multi download|factory": every phone port found
  bool help = false;
  bool json = false;
  bool noTty = false;        // never redraw progress bars
  bool allowUnused = false;  // a file that no step writes does not fail the run
  std::string port;          // --port: a number or a device path; "" = the first phone found
  std::string plugin;        // --plugin; "" = model.so beside the program
  uint32_t erase = 0;        // --erase, as option bits
  int simulate = 0;          // --simulate [N]: simulated phones to attach first
  std::optional<double> waitSeconds = 60;  // --wait; nullopt = no limit ("forever")
  int count = 0;                    // multi --count: stop after this many phones (0: when idle)
  int maxAtOnce = 0;                // multi --max: phones at once (0: kMaxAtOnce)
  std::string mdmFile;              // mdm --mdm
  std::string outFile;              // upload --out
  std::optional<uint32_t> sectors;  // upload --sectors
  std::optional<uint32_t> address;  // upload --address
  std::vector<std::string> files;   // records: "show ID" or "sync"
  // The run's record: the station's name, the line's job label and server.
  std::string station;        // --station; for records, the station to list
  std::string jobLabel;       // --job
  std::string recordsServer;  // --records: a PostgreSQL connection string
  // records' filters and forms
  std::string since;       // --since DATE
  std::string serial;      // --serial S
  std::string verdict;     // --verdict WORD
  bool simulated = false;  // --simulated
  bool csv = false;        // --csv
};

struct Parsed {
  Options options;
  std::string error;  // non-empty: the arguments are unusable, and why
};

// `args` without the program name.
Parsed ParseArguments(const std::vector<std::string>& args);

// The help of one command (kNone: the overview).
std::string UsageText(Command command, bool multi);

const char* CommandName(Command command);

}  // namespace cli
