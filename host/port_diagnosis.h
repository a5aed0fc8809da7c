#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/ports/serial_port_entry.h"

// Why a phone port can or cannot be used, port by port, with the command that fixes each
// problem: the program's port view and `tarvex-cli ports` both show this report.
namespace diagnosis {

inline constexpr const char* kRuleName = "60-tarvex-phones.rules";

// Where the facts are read. Tests point every root at a fake tree and choose the user.
struct System {
  std::string sysRoot = "/sys";
  std::string procRoot = "/proc";
  std::string udevDataDir = "/run/udev/data";
  std::vector<std::string> ruleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                       "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  std::string groupFile = "/etc/group";
  std::string devRoot;      // put before every device path that is examined ("" = the real /dev)
  std::string shippedRule;  // the rule that the fix installs (beside the program)
  uint32_t uid = 0;
  std::vector<uint32_t> groups;
  std::string user;

  // The running system and the user this process runs as.
  static System Current();
};

struct Problem {
  std::string text;  // what is wrong, in a sentence
  std::string fix;   // the command that mends it ("" when none can)
};

struct PortFinding {
  SerialPortEntry entry;
  bool taken = false;  // the phone filter takes it
  std::string reason;  // why the filter refuses it
  bool canOpen = false;
  std::string accessGroup;  // the group whose members may read and write it ("" none)
  bool inAccessGroup = false;
  std::optional<bool> modemManagerIgnores;  // nullopt: the udev database does not say
  std::vector<Problem> problems;
};

struct Report {
  std::vector<PortFinding> ports;
  bool modemManagerRunning = false;
  std::string installedRule;      // the path of the project's udev rule ("" not installed)
  std::vector<Problem> problems;  // the system's own, besides those of each port
  // True when there is a phone port and every one of them can be used.
  bool PhonePortsUsable() const;
};

Report Diagnose(const System& system);

}  // namespace diagnosis
