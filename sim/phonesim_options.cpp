#include "sim/phonesim_options.h"

namespace phonesim {
namespace {

// A description (and a USB path or serial) is written into the port's announcement as one line and
// shown by every host: a control character would break the one and act on the other's terminal.
bool OneLineOfText(const std::string& text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  return !text.empty();
}

// The rules between the options, once each was read.
std::string Contradiction(const PhonesimOptions& o, bool descriptionGiven, bool usbGiven) {
  if (!o.tq4410 && (o.mdm || descriptionGiven || usbGiven || !o.sample.empty())) {
    return "--mdm, --description, --usb-path, --usb-serial and --sample are options of --tq4410";
  }
  if (o.tq4410 && o.memory) return "--memory is a boot loader of its own, not a TQ4410";
  if (o.tq4410 && o.sample.empty()) {
    return "--tq4410 needs --sample DIR: the firmware set to download and to check against";
  }
  if (descriptionGiven && !OneLineOfText(o.description)) {
    return "--description takes one line of printable text";
  }
  for (const std::string* value : {&o.usbPath, &o.usbSerial}) {
    if (usbGiven && !value->empty() && !OneLineOfText(*value)) {
      return "--usb-path and --usb-serial take one line of printable text";
    }
  }
  return "";
}

}  // namespace

PhonesimOptions ParsePhonesimArguments(const std::vector<std::string>& args) {
  PhonesimOptions o;
  bool descriptionGiven = false;
  bool usbGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue =
        a == "--description" || a == "--sample" || a == "--usb-path" || a == "--usb-serial";
    if (takesValue && i + 1 >= args.size()) {
      o.error = a + " needs a value";
      return o;
    }
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--tq4410") {
      o.tq4410 = true;
    } else if (a == "--memory") {
      o.memory = true;
    } else if (a == "--mdm") {
      o.mdm = true;
    } else if (a == "--description") {
      o.description = args[++i];
      descriptionGiven = true;
    } else if (a == "--usb-path" || a == "--usb-serial") {
      (a == "--usb-path" ? o.usbPath : o.usbSerial) = args[++i];
      usbGiven = true;
    } else if (a == "--sample") {
      o.sample = args[++i];
      if (o.sample.empty()) o.error = "--sample needs a directory";
    } else {
      o.error = "unknown argument '" + a + "'";
    }
    if (!o.error.empty()) return o;
  }
  if (!o.help) o.error = Contradiction(o, descriptionGiven, usbGiven);
  return o;
}

std::string PhonesimUsage() {
  return "usage: phonesim [--help]\n"
         "       phonesim --memory\n"
         "       phonesim --tq4410 [--mdm] [--description TEXT] [--usb-path P] [--usb-serial S]\n"
         "                --sample DIR\n"
         "\n"
         "Without --tq4410: starts a simulated phone whose boot loader acknowledges every framed\n"
         "command, prints the pseudo-terminal to open, and runs until interrupted. It stores\n"
         "nothing and no host finds it by itself: name its port.\n"
         "\n"
         "--memory: a boot loader that answers read-backs (tarvex-cli upload) of a memory whose\n"
         "every byte is a pattern of its address, so two uploads of a range read the same.\n"
         "\n"
         "--tq4410: a whole simulated TQ4410 that stores what a download writes. It writes a\n"
         "sample firmware set into DIR (a new or empty directory, kept afterwards), prints where\n"
         "and the port it listens on, and announces the port so that tarvex and tarvex-cli,\n"
         "started separately by the same user, find it. Ctrl-C or SIGTERM ends it with the\n"
         "byte-for-byte check of what it stores against the set: exit status 0 when every\n"
         "partition and image matches, 1 with the ones that do not.\n"
         "  --mdm               the TQ4410 seen through its Qualcomm modem (an MDM download):\n"
         "                      its port goes away and comes back as the download proceeds\n"
         "  --description TEXT  how its port announces itself (default: as the maker's phones,\n"
         "                      \"Zelco Mobile USB Modem\", with --mdm \"Zelco CDMA USB Modem\");\n"
         "                      hosts take only ports whose description they know, such as one\n"
         "                      that begins with one of these\n"
         "  --usb-path P        the USB socket it announces, a bus-port chain such as 1-1.4.2\n"
         "  --usb-serial S      the USB serial number it announces (default for both: ones of\n"
         "                      its own, unlike every other simulated phone's); a host finds a\n"
         "                      phone's port again by its socket when the phone re-enumerates\n"
         "  --sample DIR        where the sample set is written\n"
         "TARVEX_SIM_EMMC_BYTES_PER_S slows its eMMC down to a real phone's pace.\n"
         "\n"
         "Exit status: 0 match (or the plain phone ended), 1 the stores differ from the set,\n"
         "2 bad arguments, 3 the phone could not be started.\n";
}

}  // namespace phonesim
