#include "corvane/ports/find_phone_ports.h"

#include <algorithm>

#include "corvane/platform/serial_device.h"
#include "corvane/ports/port_enumeration.h"

namespace ports {
namespace {

bool BeginsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool OpensExclusively(const std::string& path) {
  auto device = platform::SerialDevice::Create();
  if (!device->Open(path)) return false;
  device->Close();
  return true;
}

}  // namespace

bool AcceptedByNameFilter(const std::string& d) {
  return BeginsWith(d, "Zelco CDMA USB Modem") || BeginsWith(d, "Zelco Mobile USB Modem") ||
         BeginsWith(d, "Zelco Mobile USB Serial Port") ||
         BeginsWith(d, "Zelco CDMA USB Serial Port") || BeginsWith(d, "FOMA L") ||
         BeginsWith(d, "Qualcomm HS-USB Diag") ||
         (BeginsWith(d, "FOMA SA") && d.find("OBEX") != std::string::npos);
}

std::string ShortName(const std::string& description) {
  const size_t p = description.find(" #");
  return p != std::string::npos && p > 0 ? description.substr(0, p) : description;
}

void FinalPass(std::vector<SerialPortEntry>& ports, bool probeBusy) {
  size_t i = 0;
  while (i < ports.size()) {
    SerialPortEntry& e = ports[i];
    if (!AcceptedByNameFilter(e.description) || (probeBusy && !OpensExclusively(e.devicePath))) {
      ports.erase(ports.begin() + static_cast<long>(i));
      continue;
    }
    // (An entry without a description never gets here: the filter needs one.)
    if (e.shortName.empty()) e.shortName = ShortName(e.description);
    ++i;
  }
}

}  // namespace ports

void FindPhonePorts(std::vector<SerialPortEntry>& ports, int probeBusy, int modemClass,
                    int clearFirst) {
  if (clearFirst) ports.clear();
  std::vector<SerialPortEntry> found = ports::EnumerateSerialPorts(modemClass != 0);
  ports.insert(ports.end(), found.begin(), found.end());
  ports::FinalPass(ports, probeBusy != 0);
}
