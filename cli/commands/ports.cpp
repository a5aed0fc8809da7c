// ports: the phone ports that discovery finds, and the other USB serial ports with the reason
// each was not taken; for each, whether this user may open it and the command that fixes each
// problem (the same diagnosis as the program's port view).

#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/commands/commands.h"
#include "cli/json.h"
#include "cli/simulation.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/ports/published_ports.h"
#include "host/port_diagnosis.h"

namespace cli {
namespace {

void ShowJsonPort(Console& console, const diagnosis::PortFinding& f) {
  const SerialPortEntry& e = f.entry;
  JsonObject o;
  o.Add("event", "port").Add("taken", f.taken).Add("port", static_cast<int>(e.portNumber));
  o.Add("name", e.portName).Add("path", e.devicePath).Add("description", e.description);
  o.Add("vendor", static_cast<int>(e.usbVendor)).Add("product", static_cast<int>(e.usbProduct));
  o.Add("interface", e.usbInterface);
  if (!f.taken) o.Add("reason", f.reason);
  o.Add("can_open", f.canOpen).Add("access_group", f.accessGroup);
  o.AddRaw("problems", ProblemsJson(f.problems));
  console.JsonLine(o.Text());
}

void ShowProblems(Console& console, const std::vector<diagnosis::Problem>& problems) {
  for (const diagnosis::Problem& p : problems) {
    console.Note("        problem: " + p.text);
    if (!p.fix.empty()) console.Note("        fix:     " + p.fix);
  }
}

void ShowPort(Console& console, const diagnosis::PortFinding& f) {
  if (console.GetMode().json) return ShowJsonPort(console, f);
  const SerialPortEntry& e = f.entry;
  char line[200];
  std::snprintf(line, sizeof line, "  %4u  %-10s %-36s %s", static_cast<unsigned>(e.portNumber),
                e.portName.c_str(), e.description.c_str(), UsbId(e).c_str());
  console.Note(line);
  if (!f.taken) console.Note("        not taken: " + f.reason);
  ShowProblems(console, f.problems);
}

void ShowReport(Console& console, const diagnosis::Report& report, int taken) {
  const bool plain = !console.GetMode().json;
  if (plain) console.Note("Phone ports:");
  for (const diagnosis::PortFinding& f : report.ports) {
    if (f.taken) ShowPort(console, f);
  }
  if (taken == 0 && plain) console.Note("  none");
  bool header = false;
  for (const diagnosis::PortFinding& f : report.ports) {
    if (f.taken) continue;
    if (!header && plain) console.Note("Other serial ports, not taken:");
    header = true;
    ShowPort(console, f);
  }
  if (!plain) {
    console.JsonLine(SystemJson(report));
    return;
  }
  // Linux lists USB ports only; Windows lists every COM port, judged alike.
  if (std::all_of(report.ports.begin(), report.ports.end(),
                  [](const diagnosis::PortFinding& f) { return f.entry.isUsb != 0; })) {
    console.Note("Serial ports that are not attached through USB are not considered.");
  }
  if (!report.problems.empty()) console.Note("System:");
  ShowProblems(console, report.problems);
}

}  // namespace

std::string UsbId(const SerialPortEntry& e) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%04x if %d", e.usbVendor, e.usbProduct, e.usbInterface);
  return text;
}

std::string ProblemsJson(const std::vector<diagnosis::Problem>& problems) {
  std::string list = "[";
  for (const diagnosis::Problem& p : problems) {
    list +=
        (list.size() > 1 ? "," : "") + JsonObject().Add("text", p.text).Add("fix", p.fix).Text();
  }
  return list + "]";
}

std::string SystemJson(const diagnosis::Report& report) {
  JsonObject o;
  o.Add("event", "system");
  if (report.udevSystem) {
    o.Add("modem_manager_running", report.modemManagerRunning);
    o.Add("udev_rule", report.installedRule);
  } else {
    std::string names = "[";
    for (const std::string& name : report.comPorts) {
      names += (names.size() > 1 ? "," : "") + JsonString(name);
    }
    o.AddRaw("com_ports", names + "]");
  }
  return o.AddRaw("problems", ProblemsJson(report.problems)).Text();
}

int RunPorts(const Options& o, Console& console, const Environment& environment) {
  std::unique_ptr<simulation::Attached> simulation;
  if (o.simulate > 0) {
    std::string error;
    const int status = Simulation::Start(o, environment.programDirectory, simulation, error);
    if (status != kExitOk) {
      console.Error(error);
      return status;
    }
  }
  const diagnosis::Report report = diagnosis::Diagnose(diagnosis::System::Current());
  // Without this, a refused directory looks like no simulated phone at all; a system without
  // pseudo-terminals (Windows) has none to look for, and says nothing of it.
  if (const std::string refusal = ports::PublishRefusal();
      !refusal.empty() && platform::PseudoTerminal::Unavailable().empty()) {
    console.Note(refusal);
  }
  int taken = 0;
  for (const diagnosis::PortFinding& f : report.ports) taken += f.taken ? 1 : 0;
  ShowReport(console, report, taken);
  return taken > 0 ? kExitOk : kExitNoPhone;
}

}  // namespace cli
