#include "host/port_scan.h"

#include "corvane/ports/find_phone_ports.h"

PortScan::Discover PortScan::SystemDiscovery() {
  return [] {
    std::vector<SerialPortEntry> ports;
    FindPhonePorts(ports, 0, 0, 0);
    return ports;
  };
}

PortScan::PortScan(Discover discover) : discover_(std::move(discover)) {}

PortScan::Result PortScan::Scan() {
  ports_ = discover_();
  Result r;
  for (const SerialPortEntry& port : ports_) {
    r.comTexts.push_back(ComText(port));
    r.descriptions.push_back(port.description);
  }
  if (ports_.empty()) {
    seen_ = 0;
    r.start = false;
    return r;
  }
  if (++seen_ < kScansBeforeStart) return r;
  r.selectFirst = true;
  r.start = true;
  comPort_ = ports_.front().portNumber;
  return r;
}

std::string ComText(const SerialPortEntry& port) {
  std::string text = "COM" + std::to_string(port.portNumber);
  if (!port.portName.empty()) text += " (" + port.portName + ")";
  return text;
}
