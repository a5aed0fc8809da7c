// Serial ports on Linux: /sys/class/tty entries whose device hangs below a USB interface.
//
//   ttyACM0: /sys/class/tty/ttyACM0/device -> .../1-1/1-1:1.0          (the interface)
//   ttyUSB0: /sys/class/tty/ttyUSB0/device -> .../1-1/1-1:1.0/ttyUSB0  (one usb-serial level more)
// The interface directory has bInterfaceNumber (and maybe "interface", its string); its parent is
// the USB device with idVendor, idProduct, "product" and maybe "serial"; that directory's name is
// the bus-port chain of the socket the phone is plugged into ("1-1.4.2"); busnum and devnum give
// the address of this enumeration.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "corvane/platform/port_table.h"
#include "corvane/ports/port_enumeration.h"
#include "corvane/ports/published_ports.h"

namespace ports {
namespace fs = std::filesystem;
namespace {

constexpr int kCdcCommunicationsClass = 0x02;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

std::optional<unsigned long> ReadHex(const fs::path& file) {
  const std::string text = ReadLine(file);
  if (text.empty()) return std::nullopt;
  try {
    return std::stoul(text, nullptr, 16);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

struct UsbInterface {
  fs::path dir;  // the interface; its parent is the USB device
};

std::optional<UsbInterface> FindInterface(const fs::path& ttyEntry) {
  std::error_code ec;
  const fs::path device = fs::canonical(ttyEntry / "device", ec);
  if (ec) return std::nullopt;  // a virtual terminal: no device behind it
  if (fs::exists(device / "bInterfaceNumber", ec)) return UsbInterface{device};
  if (fs::exists(device.parent_path() / "bInterfaceNumber", ec)) {
    return UsbInterface{device.parent_path()};
  }
  return std::nullopt;
}

std::optional<SerialPortEntry> UsbPort(const fs::path& ttyEntry, bool modemClass,
                                       const UsbDescriptionTable& table) {
  const auto iface = FindInterface(ttyEntry);
  if (!iface) return std::nullopt;
  const fs::path usbDevice = iface->dir.parent_path();
  const auto vendor = ReadHex(usbDevice / "idVendor");
  const auto product = ReadHex(usbDevice / "idProduct");
  const auto number = ReadHex(iface->dir / "bInterfaceNumber");
  if (!vendor || !product || !number) return std::nullopt;
  if (modemClass && ReadHex(iface->dir / "bInterfaceClass") != kCdcCommunicationsClass) {
    return std::nullopt;
  }
  SerialPortEntry e;
  e.portName = ttyEntry.filename().string();
  e.devicePath = "/dev/" + e.portName;
  e.isUsb = 1;
  e.usbVendor = static_cast<uint16_t>(*vendor);
  e.usbProduct = static_cast<uint16_t>(*product);
  e.usbInterface = static_cast<int>(*number);
  e.usbPath = usbDevice.filename().string();
  e.usbSerial = ReadLine(usbDevice / "serial");
  const std::string bus = ReadLine(usbDevice / "busnum");
  const std::string address = ReadLine(usbDevice / "devnum");
  if (!bus.empty() && !address.empty()) e.usbAddress = bus + "." + address;
  if (auto known = table.Find(e.usbVendor, e.usbProduct, e.usbInterface)) {
    e.description = *known;
  } else if (std::string s = ReadLine(iface->dir / "interface"); !s.empty()) {
    e.description = s;
  } else {
    e.description = ReadLine(usbDevice / "product");
  }
  return e;
}

SerialPortEntry FromPublished(const PublishedPort& p) {
  SerialPortEntry e;
  e.devicePath = p.path;
  // "/dev/pts/3" shows as "pts3", the way the kernel names the terminal.
  const fs::path path(p.path);
  e.portName = path.parent_path().filename().string() + path.filename().string();
  e.description = p.description;
  e.isUsb = 1;
  e.usbVendor = p.vendor;
  e.usbProduct = p.product;
  e.usbInterface = p.interfaceNumber;
  e.usbPath = p.usbPath;
  e.usbSerial = p.usbSerial;
  e.usbAddress = p.usbAddress;
  return e;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass, const std::string& sysRoot,
                                                  const UsbDescriptionTable& table) {
  std::vector<SerialPortEntry> out;
  std::error_code ec;
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class/tty", ec)) {
    entries.push_back(entry.path());
  }
  std::sort(entries.begin(), entries.end());  // a stable order: ttyACM0 before ttyACM1
  for (const fs::path& entry : entries) {
    if (auto port = UsbPort(entry, modemClass, table)) out.push_back(std::move(*port));
  }
  for (const PublishedPort& p : PublishedPorts()) out.push_back(FromPublished(p));
  for (SerialPortEntry& e : out) e.portNumber = platform::BindPort(e.devicePath);
  return out;
}

namespace {

std::mutex& RootLock() {
  static std::mutex lock;
  return lock;
}

std::string& RootOverride() {
  static std::string root;
  return root;
}

}  // namespace

void SetSystemRoot(const std::string& root) {
  std::lock_guard<std::mutex> guard(RootLock());
  RootOverride() = root;
}

std::string SystemRoot() {
  std::lock_guard<std::mutex> guard(RootLock());
  return RootOverride().empty() ? "/sys" : RootOverride();
}

std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass) {
  return EnumerateSerialPorts(modemClass, SystemRoot(), UsbDescriptionTable::LoadDefault());
}

}  // namespace ports
