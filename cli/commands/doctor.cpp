// doctor: every serial port of this machine and what stands between it and a download — the
// phone filter, access rights, another process holding it, the modem manager and the udev rule
// on Linux, the COM ports present and the phone's driver on Windows —
// with the command that fixes each problem. Its exit status says whether the phone ports can be
// used, so a factory line's script can check a station before it starts.

#include "cli/commands/commands.h"
#include "cli/json.h"

namespace cli {
namespace {

std::string HoldersText(const std::vector<diagnosis::Holder>& holders) {
  std::string text;
  for (const diagnosis::Holder& h : holders) {
    text += (text.empty() ? "" : ", ") + h.name + " (pid " + std::to_string(h.pid) + ")";
  }
  return text.empty() ? "nobody else" : text;
}

std::string HoldersText(const diagnosis::PortFinding& f) {
  return f.heldElsewhere ? "another program (Windows does not say which)" : HoldersText(f.holders);
}

std::string AccessText(const diagnosis::PortFinding& f) {
  const std::string group = "group \"" + f.accessGroup + "\"";
  if (f.canOpen && f.accessGroup.empty()) return "you may open it";
  if (f.canOpen) return "you may open it (" + group + (f.inAccessGroup ? ", you are in it)" : ")");
  if (!f.accessGroup.empty()) return "you may not: only " + group + " may, and you are not in it";
  return "you may not: no group may read and write it";
}

std::string ModemManagerText(const diagnosis::Report& r, const diagnosis::PortFinding& f) {
  if (!r.modemManagerRunning) return "not running";
  if (!f.modemManagerIgnores) return "running; the udev database does not say what it does here";
  return *f.modemManagerIgnores ? "leaves it alone" : "may probe it";
}

std::string HoldersJson(const std::vector<diagnosis::Holder>& holders) {
  std::string list = "[";
  for (const diagnosis::Holder& h : holders) {
    list +=
        (list.size() > 1 ? "," : "") + JsonObject().Add("pid", h.pid).Add("name", h.name).Text();
  }
  return list + "]";
}

void ShowJsonPort(Console& console, const diagnosis::Report& r, const diagnosis::PortFinding& f) {
  const SerialPortEntry& e = f.entry;
  JsonObject o;
  o.Add("event", "port").Add("taken", f.taken).Add("port", static_cast<int>(e.portNumber));
  o.Add("name", e.portName).Add("path", e.devicePath).Add("description", e.description);
  o.Add("vendor", static_cast<int>(e.usbVendor)).Add("product", static_cast<int>(e.usbProduct));
  o.Add("interface", e.usbInterface);
  if (!f.taken) o.Add("reason", f.reason);
  o.Add("can_open", f.canOpen).Add("access_group", f.accessGroup);
  o.Add("in_access_group", f.inAccessGroup).AddRaw("holders", HoldersJson(f.holders));
  o.Add("held_elsewhere", f.heldElsewhere);
  if (r.udevSystem) o.Add("modem_manager", ModemManagerText(r, f));
  if (f.tableLine) {
    o.Add("table_line", f.tableLine->line).Add("table_file", f.tableLine->file);
    o.Add("table_command", f.tableLine->command);
  }
  o.AddRaw("problems", ProblemsJson(f.problems));
  console.JsonLine(o.Text());
}

void ShowProblems(Console& console, const std::vector<diagnosis::Problem>& problems) {
  for (const diagnosis::Problem& p : problems) {
    console.Note("    problem:      " + p.text);
    if (!p.fix.empty()) console.Note("    fix:          " + p.fix);
  }
}

void ShowPort(Console& console, const diagnosis::Report& r, const diagnosis::PortFinding& f) {
  if (console.GetMode().json) return ShowJsonPort(console, r, f);
  const SerialPortEntry& e = f.entry;
  console.Note(e.devicePath + "  \"" + e.description + "\"  " + UsbId(e) + "  (port " +
               std::to_string(e.portNumber) + ")");
  console.Note("    phone port:   " + (f.taken ? std::string("yes") : "no: " + f.reason));
  console.Note("    access:       " + AccessText(f));
  console.Note("    held open by: " + HoldersText(f));
  if (r.udevSystem) console.Note("    ModemManager: " + ModemManagerText(r, f));
  if (f.tableLine) {
    console.Note("    if it is a phone, add this line to " + f.tableLine->file + ":");
    console.Note("                  " + f.tableLine->line);
    console.Note("      with:       " + f.tableLine->command);
  }
  ShowProblems(console, f.problems);
}

void ShowSystem(Console& console, const diagnosis::Report& r) {
  if (console.GetMode().json) {
    console.JsonLine(SystemJson(r));
    return;
  }
  console.Note("System:");
  if (r.udevSystem) {
    console.Note(std::string("    ModemManager: ") +
                 (r.modemManagerRunning ? "running" : "not running"));
    console.Note("    udev rule:    " +
                 (r.installedRule.empty() ? std::string("not installed") : r.installedRule));
  } else {
    std::string names;
    for (const std::string& name : r.comPorts) names += (names.empty() ? "" : ", ") + name;
    console.Note("    COM ports:    " + (names.empty() ? std::string("none") : names));
  }
  ShowProblems(console, r.problems);
}

// The closing line, and whether the phone ports can be used.
bool ShowVerdict(Console& console, const diagnosis::Report& r) {
  size_t phones = 0;
  for (const diagnosis::PortFinding& f : r.ports) phones += f.taken ? 1 : 0;
  const bool usable = r.PhonePortsUsable();
  std::string text = "every phone port can be used";
  if (phones == 0) {
    text =
        "no phone port found: plug the phone in, in download mode, and run 'tarvex-cli doctor' "
        "again";
  } else if (!usable) {
    text = "a phone port cannot be used: the problems above say why";
  }
  console.JsonLine(JsonObject()
                       .Add("event", "verdict")
                       .Add("usable", usable)
                       .Add("phone_ports", static_cast<uint64_t>(phones))
                       .Add("text", text)
                       .Text());
  if (!console.GetMode().json) console.Note("Verdict: " + text + ".");
  return usable;
}

}  // namespace

int RunDoctor(Console& console) {
  const diagnosis::Report report = diagnosis::Diagnose(diagnosis::System::Current());
  const bool plain = !console.GetMode().json;
  // Windows lists every COM port; Linux only those attached through USB.
  if (plain)
    console.Note(report.udevSystem ? "Serial ports attached through USB:" : "Serial ports:");
  if (report.ports.empty() && plain) console.Note("  none");
  for (const diagnosis::PortFinding& f : report.ports) ShowPort(console, report, f);
  ShowSystem(console, report);
  return ShowVerdict(console, report) ? kExitOk : kExitRunFailed;
}

}  // namespace cli
