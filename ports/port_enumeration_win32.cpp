// Serial ports on Windows: the present devices that offer the COM port interface (or the modem
// interface), through SetupAPI. A port's device key names it ("PortName" = COM12) and its driver
// describes it; the USB device it belongs to is found by going up the device tree:
//
//   the port (usbser on an interface)  USB\VID_1F3A&PID_00A1&MI_02\6&2A4B1C3D&0&0002
//   its parent, the USB device         USB\VID_1F3A&PID_00A1\R58M1234ABC  (serial, socket)
// A USB-serial converter's port sits a level lower, below its driver's own bus device. A port that
// hangs below no USB device (a mainboard's COM1) is listed too, without USB facts: the name
// filter judges it by its description like any other.

#include <windows.h>
// Windows's headers first: SetupAPI's need its types.
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "corvane/platform/port_table.h"
#include "corvane/ports/port_enumeration.h"
#include "ports/windows_device_ids.h"

namespace ports {
namespace {

constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr GUID kModemInterface = {
    0x2c7089aa, 0x2e0e, 0x11d1, {0xb1, 0x14, 0x00, 0xc0, 0x4f, 0xc2, 0xaa, 0xe4}};
// When the device last arrived: new at each enumeration, as a Linux device's address is.
constexpr DEVPROPKEY kLastArrivalDate = {
    {0x83da6326, 0x97a6, 0x4088, {0x94, 0x53, 0xa1, 0x92, 0x3f, 0x57, 0x3b, 0x29}}, 102};
constexpr int kTreeDepth = 4;  // a port is at most this far below its USB device

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return "";
  const int wide = static_cast<int>(length);
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  const int narrow = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), narrow, nullptr, 0);
  std::wstring out(static_cast<size_t>(std::max(size, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), narrow, out.data(), size);
  return out;
}

// A text up to its first NUL (a registry string need not end with one).
std::string Utf8Text(const std::wstring& text) {
  return Utf8(text.c_str(), std::min(text.size(), text.find(L'\0')));
}

// A property as the registry keeps it, UTF-8, NULs kept (a multi-string holds several texts).
std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD bytes = 0;
  SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &bytes);
  if (bytes < sizeof(wchar_t)) return "";
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                         reinterpret_cast<BYTE*>(value.data()), bytes, nullptr)) {
    return "";
  }
  return Utf8(value.c_str(), value.size());
}

std::string TextProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  const std::string value = RegistryProperty(set, device, property);
  return value.substr(0, value.find('\0'));
}

// "COM12": the value the port's driver wrote into its device key.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return "";
  wchar_t name[64] = {};
  DWORD bytes = sizeof(name) - sizeof(wchar_t);  // room for the NUL the value may lack
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return "";
  return Utf8Text(std::wstring(name, bytes / sizeof(wchar_t)));
}

std::string InstanceId(DEVINST node) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return "";
  return Utf8Text(id);
}

bool IsUsbNode(const std::string& instanceId) {
  return instanceId.size() > 4 && (instanceId[0] == 'U' || instanceId[0] == 'u') &&
         (instanceId[1] == 'S' || instanceId[1] == 's') &&
         (instanceId[2] == 'B' || instanceId[2] == 'b') && instanceId[3] == '\\';
}

// The socket and this enumeration's arrival time of the USB device `instanceId`.
void ReadUsbDevice(const std::string& instanceId, SerialPortEntry& e) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (SetupDiOpenDeviceInfoW(set, Wide(instanceId).c_str(), nullptr, 0, &device)) {
    e.usbPath = windows::UsbPathFromLocationPaths(
        windows::SplitMultiString(RegistryProperty(set, device, SPDRP_LOCATION_PATHS)));
    FILETIME arrival{};
    DEVPROPTYPE type = 0;
    if (SetupDiGetDevicePropertyW(set, &device, &kLastArrivalDate, &type,
                                  reinterpret_cast<BYTE*>(&arrival), sizeof(arrival), nullptr, 0) &&
        type == DEVPROP_TYPE_FILETIME) {
      const uint64_t ticks = (uint64_t{arrival.dwHighDateTime} << 32) | arrival.dwLowDateTime;
      e.usbAddress = std::to_string(ticks);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
}

// Up the tree from the port to its USB device: the interface number where the port is one
// interface of several, then the device's ids, serial number and socket. False when the port
// hangs below no USB device.
bool FindUsbDevice(DEVINST port, SerialPortEntry& e) {
  DEVINST node = port;
  for (int level = 0; level < kTreeDepth; ++level) {
    const std::string id = InstanceId(node);
    const auto ids = windows::ParseUsbIds(id);
    if (IsUsbNode(id) && ids) {
      if (ids->interface >= 0 && e.usbInterface < 0) e.usbInterface = ids->interface;
      if (ids->interface < 0) {
        e.usbVendor = ids->vendor;
        e.usbProduct = ids->product;
        e.usbSerial = windows::SerialFromInstanceId(id);
        ReadUsbDevice(id, e);
        return true;
      }
    }
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return false;
    node = parent;
  }
  return false;
}

std::optional<SerialPortEntry> Port(HDEVINFO set, SP_DEVINFO_DATA& device,
                                    const UsbDescriptionTable& table) {
  SerialPortEntry e;
  e.portName = PortName(set, device);
  if (e.portName.empty()) return std::nullopt;
  e.devicePath = platform::SystemPortPath(e.portName);
  if (e.devicePath.empty()) e.devicePath = "\\\\.\\" + e.portName;  // a port named otherwise
  e.isUsb = FindUsbDevice(device.DevInst, e) ? 1 : 0;
  // The driver's description, not the friendly name: that one ends in " (COM12)".
  if (auto known = e.isUsb ? table.Find(e.usbVendor, e.usbProduct, e.usbInterface) : std::nullopt) {
    e.description = *known;
  } else if (std::string d = TextProperty(set, device, SPDRP_DEVICEDESC); !d.empty()) {
    e.description = d;
  } else {
    e.description = TextProperty(set, device, SPDRP_FRIENDLYNAME);
  }
  return e;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass, const std::string& /*sysRoot*/,
                                                  const UsbDescriptionTable& table) {
  std::vector<SerialPortEntry> out;
  const GUID* kind = modemClass ? &kModemInterface : &kComPortInterface;
  HDEVINFO set =
      SetupDiGetClassDevsW(kind, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return out;  // a system that cannot be asked lists nothing
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    if (auto port = Port(set, device, table)) out.push_back(std::move(*port));
  }
  SetupDiDestroyDeviceInfoList(set);
  for (SerialPortEntry& e : out) e.portNumber = platform::BindPort(e.devicePath);
  // A stable order, as COM numbers read: COM3 before COM12.
  std::stable_sort(out.begin(), out.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
    return a.portNumber < b.portNumber;
  });
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

// Windows is asked through SetupAPI, not a tree of files: the root is kept for the callers that
// set and show it, and read by nothing here.
void SetSystemRoot(const std::string& root) {
  std::lock_guard<std::mutex> guard(RootLock());
  RootOverride() = root;
}

std::string SystemRoot() {
  std::lock_guard<std::mutex> guard(RootLock());
  return RootOverride();
}

std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass) {
  return EnumerateSerialPorts(modemClass, SystemRoot(), UsbDescriptionTable::LoadDefault());
}

}  // namespace ports
