#include "cli/options.h"

#include "host/records/record.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

// A parser of its own rather than an option library's: --simulate takes a count only when digits
// follow (`download --simulate boot.img` is one phone and a file), "--" still ends the options
// after the command, options may come before the command, and every refusal says in this
// program's words which word was wrong.
namespace cli {
namespace {

constexpr int kMaxSimulated = 64;

bool AllDigits(const std::string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A 32-bit unsigned number, decimal or (with `hex`) 0x-prefixed hexadecimal.
std::optional<uint32_t> Unsigned32(const std::string& text, bool hex) {
  int base = 10;
  std::string digits = text;
  if (hex && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits = digits.substr(2);
  }
  uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto r = std::from_chars(digits.data(), end, value, base);
  if (digits.empty() || r.ec != std::errc() || r.ptr != end || value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<Command> CommandNamed(const std::string& word) {
  static const std::map<std::string, Command> kNames = {
      {"ports", Command::kPorts},       {"doctor", Command::kDoctor},
      {"download", Command::kDownload}, {"factory", Command::kFactory},
      {"mdm", Command::kMdm},           {"upload", Command::kUpload},
      {"records", Command::kRecords}};
  const auto it = kNames.find(word);
  if (it == kNames.end()) return std::nullopt;
  return it->second;
}

std::string EraseWords(const std::string& list, uint32_t& bits) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string word = list.substr(start, comma - start);
    if (word == "ap") {
      bits |= kEraseAp;
    } else if (word == "cp") {
      bits |= kEraseCp;
    } else if (word == "userdata") {
      bits |= kEraseUserData;
    } else {
      return "unknown erase word '" + word + "' (known: ap, cp, userdata)";
    }
    start = comma + 1;
  }
  return "";
}

std::string WaitValue(const std::string& text, Options& o) {
  if (text == "forever") {
    o.waitSeconds.reset();
    return "";
  }
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(seconds >= 0) || seconds > 1e7) {
    return "--wait takes seconds (a number of 0 or more) or 'forever', not '" + text + "'";
  }
  o.waitSeconds = seconds;
  return "";
}

std::string RecordOption(const std::string& name, const std::string& value, Options& o) {
  if (value.empty()) return name + " needs a value";
  if (name == "--station") o.station = value;
  if (name == "--job") o.jobLabel = value;
  if (name == "--records") o.recordsServer = value;
  if (name == "--since") o.since = value;
  if (name == "--serial") o.serial = value;
  if (name == "--verdict") {
    if (value != "pass" && value != "fail" && value != "cancelled" && value != "refused") {
      return "--verdict takes pass, fail, cancelled or refused, not '" + value + "'";
    }
    o.verdict = value;
  }
  return "";
}

// Applies one option that takes a value; returns an error text or "".
std::string ValueOption(const std::string& name, const std::string& value, Options& o) {
  if (name == "--port") {
    if (value.empty()) return "--port needs a port number or a device path";
    o.port = value;
  } else if (name == "--plugin") {
    if (value.empty()) return "--plugin needs a path";
    // A bare name means the file in the current directory, as any path on a command line does,
    // not a library that the loader's search happens to find.
    o.plugin = value.find('/') == std::string::npos ? "./" + value : value;
  } else if (name == "--erase") {
    return EraseWords(value, o.erase);
  } else if (name == "--wait") {
    return WaitValue(value, o);
  } else if (name == "--count") {
    const auto n = Unsigned32(value, false);
    if (!n || *n == 0 || *n > 100000) return "--count takes a number of phones (1 or more)";
    o.count = static_cast<int>(*n);
  } else if (name == "--max") {
    const auto n = Unsigned32(value, false);
    if (!n || *n == 0 || *n > kMaxAtOnce) {
      return "--max takes a number of phones at once from 1 to " + std::to_string(kMaxAtOnce);
    }
    o.maxAtOnce = static_cast<int>(*n);
  } else if (name == "--station" || name == "--job" || name == "--records" || name == "--since" ||
             name == "--serial" || name == "--verdict") {
    return RecordOption(name, value, o);
  } else if (name == "--mdm") {
    if (value.empty()) return "--mdm needs a path";
    o.mdmFile = value;
  } else if (name == "--out") {
    if (value.empty()) return "--out needs a path";
    o.outFile = value;
  } else if (name == "--sectors") {
    o.sectors = Unsigned32(value, true);
    if (!o.sectors) return "--sectors takes a number of 512-byte sectors, not '" + value + "'";
  } else if (name == "--address") {
    o.address = Unsigned32(value, true);
    if (!o.address)
      return "--address takes a 32-bit address (decimal or 0x...), not '" + value + "'";
  }
  return "";
}

bool TakesValue(const std::string& name) {
  static const char* kNames[] = {"--port",    "--plugin",  "--erase",   "--wait",
                                 "--count",   "--max",     "--mdm",     "--out",
                                 "--sectors", "--address", "--station", "--job",
                                 "--records", "--since",   "--serial",  "--verdict"};
  return std::any_of(std::begin(kNames), std::end(kNames),
                     [&](const char* n) { return name == n; });
}

std::string Simulate(const std::string& value, Options& o) {
  const auto n = Unsigned32(value, false);
  if (!n || *n < 1 || *n > kMaxSimulated) {
    return "--simulate takes a number of phones from 1 to " + std::to_string(kMaxSimulated);
  }
  o.simulate = static_cast<int>(*n);
  return "";
}

// A positional word: the command, multi's own command, or a file.
std::string Positional(const std::string& word, Options& o, bool& haveCommand) {
  if (!haveCommand) {
    if (word == "multi" && !o.multi) {
      o.multi = true;
      return "";
    }
    const auto command = CommandNamed(word);
    if (!command) {
      return o.multi ? "multi runs 'download' or 'factory', not '" + word + "'"
                     : "unknown command '" + word + "'";
    }
    o.command = *command;
    haveCommand = true;
    return "";
  }
  o.files.push_back(word);
  return "";
}

std::string Tokens(const std::vector<std::string>& args, Options& o) {
  bool haveCommand = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      if (std::string e = Positional(a, o, haveCommand); !e.empty()) return e;
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const bool inlineValue = eq != std::string::npos;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--no-tty") {
      o.noTty = true;
    } else if (a == "--allow-unused") {
      o.allowUnused = true;
    } else if (a == "--simulated") {
      o.simulated = true;
    } else if (a == "--csv") {
      o.csv = true;
    } else if (name == "--simulate") {
      o.simulate = 1;
      if (inlineValue) {
        if (std::string e = Simulate(a.substr(eq + 1), o); !e.empty()) return e;
      } else if (i + 1 < args.size() && AllDigits(args[i + 1])) {
        if (std::string e = Simulate(args[++i], o); !e.empty()) return e;
      }
    } else if (TakesValue(name)) {
      if (!inlineValue && i + 1 >= args.size()) return name + " needs a value";
      const std::string value = inlineValue ? a.substr(eq + 1) : args[++i];
      if (std::string e = ValueOption(name, value, o); !e.empty()) return e;
    } else {
      return "unknown option '" + a + "'";
    }
  }
  if (o.help) return "";
  if (o.multi && !haveCommand) return "multi needs a command: 'download' or 'factory'";
  if (!haveCommand) return "no command given";
  return "";
}

std::string CheckFiles(const Options& o) {
  const size_t n = o.files.size();
  const bool generated = o.simulate > 0 && n == 0;  // --simulate writes a sample set
  switch (o.command) {
    case Command::kPorts:
    case Command::kDoctor:
    case Command::kUpload:
      return n == 0 ? "" : std::string(CommandName(o.command)) + " takes no files";
    case Command::kDownload:
      return n > 0 || generated ? "" : "download needs the image files to write";
    case Command::kFactory:
      return n == 2 || generated ? "" : "factory needs two files: CP_FILE AP_FILE";
    case Command::kMdm:
      if (generated && o.mdmFile.empty()) return "";
      return n == 1 ? "" : "mdm needs one file: the application processor's image (AP_FILE)";
    case Command::kRecords:
      if (n == 0 || (n == 1 && o.files[0] == "sync") || (n == 2 && o.files[0] == "show")) {
        return "";
      }
      return "records takes no words, 'show ID' or 'sync'";
    case Command::kNone:
      break;
  }
  return "";
}

std::string CheckErase(const Options& o) {
  if (o.erase == 0) return "";
  if (o.command == Command::kFactory) {
    return o.erase == kEraseCp ? "" : "factory erases only 'cp' (the modem's flash)";
  }
  if (o.command != Command::kDownload) {
    return std::string(CommandName(o.command)) + " takes no --erase";
  }
  return "";
}

std::string CheckRecordOptions(const Options& o) {
  const bool records = o.command == Command::kRecords;
  const bool runs = o.command != Command::kPorts && o.command != Command::kDoctor && !records;
  if (!records &&
      (!o.since.empty() || !o.serial.empty() || !o.verdict.empty() || o.simulated || o.csv)) {
    return "--since, --serial, --verdict, --simulated and --csv belong to records";
  }
  if (!records && !runs && (!o.station.empty() || !o.recordsServer.empty())) {
    return "--station and --records belong to the commands that run phones, and records";
  }
  if (!runs && !o.jobLabel.empty()) return "--job belongs to the commands that run phones";
  if (records && (o.simulate > 0 || !o.port.empty())) return "records runs no phone";
  if (o.csv && o.json) return "--csv and --json: choose one";
  int64_t ms = 0;
  if (!o.since.empty() && !records::ParseTime(o.since, ms)) {
    return "--since takes a date (YYYY-MM-DD) or an ISO 8601 time, not '" + o.since + "'";
  }
  return "";
}

std::string CheckCommandOptions(const Options& o) {
  const bool upload = o.command == Command::kUpload;
  if (upload && (o.outFile.empty() || !o.sectors || !o.address)) {
    return "upload needs --out FILE, --sectors N and --address A";
  }
  // Reading nothing would still replace the output file with an empty one and pass for done.
  if (upload && *o.sectors == 0) return "--sectors 0 reads nothing: give at least one sector";
  if (!upload && (!o.outFile.empty() || o.sectors || o.address)) {
    return "--out, --sectors and --address belong to upload";
  }
  if (!o.mdmFile.empty() && o.command != Command::kMdm) return "--mdm belongs to mdm";
  // The diagnosis is of the ports this machine has; a simulated phone would only hide that.
  if (o.command == Command::kDoctor && (o.simulate > 0 || !o.port.empty())) {
    return "doctor examines every serial port of this machine: it takes no --simulate or --port";
  }
  if (o.multi && !o.port.empty())
    return "multi runs on every phone port found; --port is for one phone";
  if (!o.multi && o.count > 0) return "--count belongs to multi";
  if (!o.multi && o.maxAtOnce > 0) return "--max belongs to multi";
  if (!o.multi && o.simulate > 1 && o.command != Command::kPorts) {
    return "one phone takes one simulated phone; use multi for --simulate " +
           std::to_string(o.simulate);
  }
  return "";
}

}  // namespace

const char* CommandName(Command command) {
  switch (command) {
    case Command::kPorts:
      return "ports";
    case Command::kDoctor:
      return "doctor";
    case Command::kDownload:
      return "download";
    case Command::kFactory:
      return "factory";
    case Command::kMdm:
      return "mdm";
    case Command::kUpload:
      return "upload";
    case Command::kRecords:
      return "records";
    case Command::kNone:
      break;
  }
  return "";
}

Parsed ParseArguments(const std::vector<std::string>& args) {
  Parsed p;
  Options& o = p.options;
  p.error = Tokens(args, o);
  if (!p.error.empty() || o.help) return p;
  if (o.multi && o.command != Command::kDownload && o.command != Command::kFactory) {
    p.error =
        std::string("multi runs 'download' or 'factory', not '") + CommandName(o.command) + "'";
    return p;
  }
  for (const auto& check : {CheckFiles, CheckErase, CheckRecordOptions, CheckCommandOptions}) {
    p.error = check(o);
    if (!p.error.empty()) return p;
  }
  return p;
}

}  // namespace cli
