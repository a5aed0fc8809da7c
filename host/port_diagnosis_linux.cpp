// The port diagnosis's facts on Linux: who may open a device node (its mode, group and the
// user's groups), who holds it open (/proc/<pid>/fd), whether the modem manager runs and what the
// udev database tells it, and whether the project's udev rule is installed.

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "corvane/platform/file_status.h"
#include "corvane/platform/process.h"
#include "corvane/ports/port_enumeration.h"
#include "host/port_diagnosis_system.h"

namespace diagnosis {
namespace fs = std::filesystem;
namespace {

using OpenDevices = std::map<std::string, std::vector<Holder>>;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string GroupName(const System& s, uint32_t gid) {
  std::ifstream in(s.groupFile);
  std::string line;
  while (std::getline(in, line)) {  // name:password:gid:members
    std::stringstream fields(line);
    std::string name, password, id;
    if (std::getline(fields, name, ':') && std::getline(fields, password, ':') &&
        std::getline(fields, id, ':') && id == std::to_string(gid)) {
      return name;
    }
  }
  return std::to_string(gid);
}

bool ModemManagerRunning(const System& s) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(s.procRoot, ec)) {
    if (FirstLine(entry.path() / "comm") == "ModemManager") return true;
  }
  return false;
}

std::optional<int64_t> Pid(const std::string& name) {
  int64_t pid = 0;
  const auto r = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (name.empty() || r.ec != std::errc() || r.ptr != name.data() + name.size())
    return std::nullopt;
  return pid;
}

// The devices that other processes have open, from their /proc/<pid>/fd links. Another user's
// process, or one that ends while it is read, cannot be read and is passed over.
OpenDevices DevicesHeldOpen(const System& s) {
  OpenDevices open;
  std::error_code ec;
  for (fs::directory_iterator p(s.procRoot, ec), end; !ec && p != end; p.increment(ec)) {
    const std::optional<int64_t> pid = Pid(p->path().filename().string());
    if (!pid || *pid == s.selfPid) continue;
    std::error_code fdError;
    for (fs::directory_iterator fd(p->path() / "fd", fdError); !fdError && fd != end;
         fd.increment(fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fd->path(), linkError).string();
      if (linkError || target.rfind("/dev/", 0) != 0) continue;
      std::vector<Holder>& holders = open[target];
      if (holders.empty() || holders.back().pid != *pid) {
        holders.push_back({*pid, FirstLine(p->path() / "comm")});
      }
    }
  }
  return open;
}

std::string Quoted(const std::string& text) {  // for a POSIX shell
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string InstalledRule(const System& s) {
  for (const std::string& dir : s.ruleDirs) {
    std::error_code ec;
    const fs::path rule = fs::path(dir) / kRuleName;
    if (fs::exists(rule, ec)) return rule.string();
  }
  return "";
}

// The udev database says whether the modem manager was told to leave the device alone.
std::optional<bool> MmIgnores(const System& s, const SerialPortEntry& e) {
  const std::string dev = FirstLine(fs::path(s.sysRoot) / "class/tty" / e.portName / "dev");
  if (dev.empty()) return std::nullopt;
  std::ifstream in(fs::path(s.udevDataDir) / ("c" + dev));
  if (!in) return std::nullopt;
  std::string line;
  while (std::getline(in, line)) {
    if (line == "E:ID_MM_DEVICE_IGNORE=1") return true;
  }
  return false;
}

void JudgeAccess(const System& s, PortFinding& f) {
  const platform::FileStatus st = platform::StatusOf(s.devRoot + f.entry.devicePath);
  if (!st.exists) return;
  const bool member = std::find(s.groups.begin(), s.groups.end(), st.group) != s.groups.end();
  if ((st.mode & 060) == 060) {
    f.accessGroup = GroupName(s, st.group);
    f.inAccessGroup = member;
  }
  f.canOpen = s.uid == 0 || (st.owner == s.uid && (st.mode & 0600) == 0600) ||
              (member && (st.mode & 060) == 060) || (st.mode & 06) == 06;
}

std::string RuleFix(const System& s) {
  return "sudo cp " + s.shippedRule +
         " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger "
         "--subsystem-match=tty";
}

void AddPortProblems(const Report& r, const System& s, PortFinding& f) {
  const std::string& path = f.entry.devicePath;
  if (!f.canOpen && !f.accessGroup.empty() && !f.inAccessGroup) {
    f.problems.push_back({"you are not in the group \"" + f.accessGroup + "\" that may use " + path,
                          "sudo usermod -aG " + f.accessGroup + " " +
                              (s.user.empty() ? "$USER" : s.user) + "   (then log in again)"});
  } else if (!f.canOpen) {
    f.problems.push_back({"no group may read and write " + path, RuleFix(s)});
  }
  for (const Holder& h : f.holders) {
    const std::string who = h.name + " (pid " + std::to_string(h.pid) + ")";
    std::string problem = path;
    problem.append(" is held open by ").append(who).append(": close ").append(who);
    problem.append(" before a download, or the port cannot be opened");
    f.problems.push_back({problem, ""});
  }
  if (r.modemManagerRunning && f.entry.isUsb && f.modemManagerIgnores != true) {
    f.problems.push_back(
        {"ModemManager may probe " + path + " with AT commands and break a download in progress",
         r.installedRule.empty() ? RuleFix(s) : "sudo udevadm trigger --subsystem-match=tty"});
  }
}

}  // namespace

System System::Current() {
  System s;
  s.sysRoot = ports::SystemRoot();
  const platform::UserIdentity user = platform::CurrentUser();
  s.uid = user.uid;
  s.groups = user.groups;
  s.user = user.name;
  s.shippedRule = platform::ExecutableDirectory() + "/" + kRuleName;
  s.selfPid = platform::ProcessId();
  return s;
}

std::string AppendLineCommand(const std::string& file, const std::string& line) {
  // The newline first: a file whose last line has none would otherwise swallow the new one.
  const std::string append = "printf '\\n%s\\n' " + Quoted(line);
  const std::string dir = Quoted(fs::path(file).parent_path().string());
  return file.rfind("/etc/", 0) == 0 ? "sudo mkdir -p " + dir + " && " + append +
                                           " | sudo tee -a " + Quoted(file) + " >/dev/null"
                                     : "mkdir -p " + dir + " && " + append + " >> " + Quoted(file);
}

void ExamineSystem(const System& s, Report& r) {
  r.modemManagerRunning = ModemManagerRunning(s);
  r.installedRule = InstalledRule(s);
  if (r.installedRule.empty()) {
    r.problems.push_back({std::string("the udev rule ") + kRuleName +
                              " is not installed: phone ports may be closed to you, and a "
                              "modem manager may probe them",
                          RuleFix(s)});
  }
}

void ExaminePorts(const System& s, Report& r) {
  const OpenDevices open = DevicesHeldOpen(s);
  for (PortFinding& f : r.ports) {
    if (const auto held = open.find(f.entry.devicePath); held != open.end()) {
      f.holders = held->second;
    }
    JudgeAccess(s, f);
    if (f.entry.isUsb) f.modemManagerIgnores = MmIgnores(s, f.entry);
    AddPortProblems(r, s, f);
  }
}

}  // namespace diagnosis
