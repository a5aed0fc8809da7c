#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/ports/serial_port_entry.h"
#include "corvane/ports/usb_descriptions.h"

// Why a phone port can or cannot be used, port by port, with the command that fixes each
// problem: the program's port view and `tarvex-cli ports` both show this report. The rules are
// the same everywhere (port_diagnosis.cpp); each system's half finds the facts
// (port_diagnosis_linux.cpp: groups, udev, the modem manager, /proc; port_diagnosis_win32.cpp:
// opens that another program refuses, the COM ports present, the driver a phone needs).
namespace diagnosis {

inline constexpr const char* kRuleName = "60-tarvex-phones.rules";

// Where the facts are read. Tests point every root at a fake tree and choose the user. Windows
// reads none of the files named here.
struct System {
  std::string sysRoot = "/sys";
  std::string procRoot = "/proc";
  std::string udevDataDir = "/run/udev/data";
  std::vector<std::string> ruleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                       "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  std::string groupFile = "/etc/group";
  std::string devRoot;      // put before every device path that is examined ("" = the real /dev)
  std::string shippedRule;  // the rule that the fix installs (beside the program)
  // The description tables discovery reads, in order, and the one a suggested line goes to: the
  // user's own, read last so that its lines win.
  std::vector<std::string> descriptionTables = ports::UsbDescriptionTable::DefaultPaths();
  std::string descriptionFile = ports::UsbDescriptionTable::DefaultPaths().back();
  int64_t selfPid = 0;  // this process: its own hold on a port is no problem
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

// A process that has the port open, so that a download cannot open it.
struct Holder {
  int64_t pid = 0;
  std::string name;  // as /proc/<pid>/comm gives it
};

// The usb-descriptions.txt line that makes a refused USB port a phone port: real phones in
// another download mode may show an interface the shipped table does not know.
struct TableLine {
  std::string line;     // "vendor product interface description"
  std::string file;     // where it goes
  std::string command;  // appends it there
};

struct PortFinding {
  SerialPortEntry entry;
  bool taken = false;  // the phone filter takes it
  std::string reason;  // why the filter refuses it
  bool canOpen = false;
  std::string accessGroup;  // the group whose members may read and write it ("" none)
  bool inAccessGroup = false;
  std::optional<bool> modemManagerIgnores;  // nullopt: the udev database does not say
  std::vector<Holder> holders;              // other processes that have it open
  bool heldElsewhere = false;               // open in a program the system does not name (Windows)
  std::optional<TableLine> tableLine;       // for a refused USB port
  std::vector<Problem> problems;
};

struct Report {
  std::vector<PortFinding> ports;
  bool modemManagerRunning = false;
  std::string installedRule;      // the path of the project's udev rule ("" not installed)
  std::vector<Problem> problems;  // the system's own, besides those of each port
  // Whether the system has udev and a modem manager to ask about (Linux; not Windows).
  bool udevSystem = true;
  std::vector<std::string> comPorts;  // Windows: every COM port present, USB or not
  // True when there is a phone port and every one of them can be opened and is not held open.
  bool PhonePortsUsable() const;
};

Report Diagnose(const System& system);

}  // namespace diagnosis
