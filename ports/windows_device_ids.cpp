#include "ports/windows_device_ids.h"

#include <cctype>

namespace ports::windows {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The parts of an id between its backslashes: enumerator, device, instance.
std::vector<std::string> Parts(const std::string& id) {
  std::vector<std::string> parts(1);
  for (char c : id) {
    if (c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// The hexadecimal value after `key` in one '&'- or '+'-separated field of `device`, when that
// field is the key followed by exactly `digits` hexadecimal digits.
std::optional<unsigned> Field(const std::string& device, const std::string& key, size_t digits) {
  size_t start = 0;
  while (start <= device.size()) {
    size_t end = device.find_first_of("&+", start);
    if (end == std::string::npos) end = device.size();
    const std::string field = device.substr(start, end - start);
    if (field.size() == key.size() + digits && field.rfind(key, 0) == 0) {
      const std::string value = field.substr(key.size());
      if (value.find_first_not_of("0123456789ABCDEF") != std::string::npos) return std::nullopt;
      return static_cast<unsigned>(std::stoul(value, nullptr, 16));
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<UsbIds> ParseUsbIds(const std::string& id) {
  const std::vector<std::string> parts = Parts(Upper(id));
  if (parts.size() < 2) return std::nullopt;
  const auto vendor = Field(parts[1], "VID_", 4);
  const auto product = Field(parts[1], "PID_", 4);
  if (!vendor || !product) return std::nullopt;
  UsbIds ids;
  ids.vendor = static_cast<uint16_t>(*vendor);
  ids.product = static_cast<uint16_t>(*product);
  if (const auto mi = Field(parts[1], "MI_", 2)) ids.interface = static_cast<int>(*mi);
  return ids;
}

std::string SerialFromInstanceId(const std::string& instanceId) {
  const std::vector<std::string> parts = Parts(instanceId);
  if (parts.size() != 3 || Upper(parts[0]) != "USB") return "";
  const auto ids = ParseUsbIds(instanceId);
  if (!ids || ids->interface >= 0) return "";
  if (parts[2].find('&') != std::string::npos) return "";
  return parts[2];
}

std::string UsbPathFromLocationPaths(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (Upper(path).find("#USBROOT(") == std::string::npos) continue;
    const size_t last = path.rfind('#');
    if (Upper(path).compare(last + 1, 6, "USBMI(") == 0) return path.substr(0, last);
    return path;
  }
  return "";
}

std::vector<std::string> SplitMultiString(const std::string& list) {
  std::vector<std::string> texts;
  size_t start = 0;
  while (start < list.size()) {
    const size_t end = list.find('\0', start);
    const std::string text = list.substr(start, end == std::string::npos ? end : end - start);
    if (text.empty()) break;
    texts.push_back(text);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return texts;
}

}  // namespace ports::windows
