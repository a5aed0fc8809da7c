#include "host/port_diagnosis.h"

#include <cstdio>

#include "corvane/ports/find_phone_ports.h"
#include "corvane/ports/port_enumeration.h"
#include "host/port_diagnosis_system.h"

namespace diagnosis {
namespace {

// A description the phone filter takes: the shipped table's own for Qualcomm's diagnostic
// interfaces, the maker's modem interface for any other.
std::string PhoneDescription(const SerialPortEntry& e) {
  if (e.usbVendor != 0x05c6) return "Zelco Mobile USB Modem";
  char text[40];
  std::snprintf(text, sizeof text, "Qualcomm HS-USB Diagnostics %04X", e.usbProduct);
  return text;
}

std::optional<TableLine> SuggestTableLine(const System& s, const SerialPortEntry& e) {
  if (!e.isUsb || (e.usbVendor == 0 && e.usbProduct == 0)) return std::nullopt;
  char ids[24];
  if (e.usbInterface < 0) {
    std::snprintf(ids, sizeof ids, "%04x %04x *", e.usbVendor, e.usbProduct);
  } else {
    std::snprintf(ids, sizeof ids, "%04x %04x %02x", e.usbVendor, e.usbProduct,
                  e.usbInterface & 0xff);
  }
  TableLine t{std::string(ids) + " " + PhoneDescription(e), s.descriptionFile, ""};
  t.command = AppendLineCommand(t.file, t.line);
  return t;
}

// What the name filter says of the port, and the line that would make it a phone port.
PortFinding Judge(const System& s, const SerialPortEntry& e) {
  PortFinding f;
  f.entry = e;
  f.taken = ports::AcceptedByNameFilter(e.description);
  if (f.taken) {
    f.entry.shortName = ports::ShortName(e.description);
  } else if (e.description.empty()) {
    f.reason = "no description: its USB interface names no phone this tool knows";
  } else {
    f.reason = "\"" + e.description + "\" is not a phone interface (the name filter refuses it)";
  }
  if (!f.taken) f.tableLine = SuggestTableLine(s, e);
  return f;
}

}  // namespace

bool Report::PhonePortsUsable() const {
  bool any = false;
  for (const PortFinding& f : ports) {
    if (!f.taken) continue;
    any = true;
    if (!f.canOpen || !f.holders.empty() || f.heldElsewhere) return false;
  }
  return any;
}

Report Diagnose(const System& s) {
  Report r;
  ExamineSystem(s, r);
  ports::UsbDescriptionTable table;
  for (const std::string& path : s.descriptionTables) table.Load(path);
  for (const SerialPortEntry& e : ports::EnumerateSerialPorts(false, s.sysRoot, table)) {
    r.ports.push_back(Judge(s, e));
  }
  ExaminePorts(s, r);
  return r;
}

}  // namespace diagnosis
