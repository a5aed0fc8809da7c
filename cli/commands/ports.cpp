// ports: the phone ports that discovery finds, and the other USB serial ports with the reason
// each was not taken.

#include <cstdio>
#include <memory>

#include "cli/commands/commands.h"
#include "cli/json.h"
#include "cli/printable.h"
#include "cli/simulation.h"
#include "corvane/ports/published_ports.h"

namespace cli {
namespace {

std::string UsbId(const SerialPortEntry& e) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%04x if %d", e.usbVendor, e.usbProduct, e.usbInterface);
  return text;
}

void ShowJsonPort(Console& console, const PortReport& r) {
  const SerialPortEntry& e = r.entry;
  JsonObject o;
  o.Add("event", "port").Add("taken", r.taken).Add("port", static_cast<int>(e.portNumber));
  o.Add("name", e.portName).Add("path", e.devicePath).Add("description", e.description);
  o.Add("vendor", static_cast<int>(e.usbVendor)).Add("product", static_cast<int>(e.usbProduct));
  o.Add("interface", e.usbInterface);
  if (!r.taken) o.Add("reason", r.reason);
  console.JsonLine(o.Text());
}

void ShowPort(Console& console, const PortReport& r) {
  if (console.GetMode().json) return ShowJsonPort(console, r);
  const SerialPortEntry& e = r.entry;
  char line[200];
  std::snprintf(line, sizeof line, "  %4u  %-10s %-36s %s", static_cast<unsigned>(e.portNumber),
                Printable(e.portName).c_str(), Printable(e.description).c_str(), UsbId(e).c_str());
  console.Note(line);
  if (!r.taken) console.Note("        not taken: " + Printable(r.reason));
}

void ShowReports(Console& console, const std::vector<PortReport>& reports, int taken) {
  const bool plain = !console.GetMode().json;
  if (plain) console.Note("Phone ports:");
  for (const PortReport& r : reports) {
    if (r.taken) ShowPort(console, r);
  }
  if (taken == 0 && plain) console.Note("  none");
  bool header = false;
  for (const PortReport& r : reports) {
    if (r.taken) continue;
    if (!header && plain) console.Note("Other serial ports, not taken:");
    header = true;
    ShowPort(console, r);
  }
  if (plain) console.Note("Serial ports that are not attached through USB are not considered.");
}

}  // namespace

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
  const std::vector<PortReport> reports = SurveyPorts();
  // Without this, a refused directory looks like no simulated phone at all.
  if (const std::string refusal = ports::PublishRefusal(); !refusal.empty()) {
    console.Note(refusal);
  }
  int taken = 0;
  for (const PortReport& r : reports) taken += r.taken ? 1 : 0;
  ShowReports(console, reports, taken);
  return taken > 0 ? kExitOk : kExitNoPhone;
}

}  // namespace cli
