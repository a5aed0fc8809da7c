#include "corvane/ports/usb_descriptions.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "corvane/platform/process.h"

namespace ports {
namespace {

bool ParseHex(const std::string& text, unsigned long max, unsigned long& value) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  value = std::stoul(text, nullptr, 16);
  return value <= max;
}

std::optional<UsbDescriptionRule> ParseLine(const std::string& line) {
  std::istringstream in(line);
  std::string vendor, product, interface;
  if (!(in >> vendor >> product >> interface)) return std::nullopt;
  std::string description;
  std::getline(in >> std::ws, description);
  while (!description.empty() && (description.back() == '\r' || description.back() == ' ')) {
    description.pop_back();
  }
  unsigned long v = 0, p = 0, i = 0;
  if (!ParseHex(vendor, 0xFFFF, v) || !ParseHex(product, 0xFFFF, p) || description.empty()) {
    return std::nullopt;
  }
  if (interface != "*" && !ParseHex(interface, 0xFF, i)) return std::nullopt;
  return UsbDescriptionRule{static_cast<uint16_t>(v), static_cast<uint16_t>(p),
                            interface == "*" ? -1 : static_cast<int>(i), description};
}

}  // namespace

void UsbDescriptionTable::Parse(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (auto rule = ParseLine(line)) {
      rules_.push_back(std::move(*rule));
    } else {
      ++rejected_;
    }
  }
}

bool UsbDescriptionTable::Load(const std::string& path) {
  std::ifstream file(path);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  Parse(text.str());
  return true;
}

std::optional<std::string> UsbDescriptionTable::Find(uint16_t vendor, uint16_t product,
                                                     int interfaceNumber) const {
  for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
    if (it->vendor == vendor && it->product == product &&
        (it->interfaceNumber < 0 || it->interfaceNumber == interfaceNumber)) {
      return it->description;
    }
  }
  return std::nullopt;
}

std::vector<std::string> UsbDescriptionTable::DefaultPaths() {
  std::vector<std::string> paths;
  const std::string exeDir = platform::ExecutableDirectory();
  if (!exeDir.empty()) paths.push_back(exeDir + "/usb-descriptions.txt");
  paths.push_back("/etc/tarvex/usb-descriptions.txt");
  const std::string config = platform::UserConfigDirectory();
  if (!config.empty()) paths.push_back(config + "/tarvex/usb-descriptions.txt");
  return paths;
}

UsbDescriptionTable UsbDescriptionTable::LoadDefault() {
  UsbDescriptionTable table;
  for (const std::string& path : DefaultPaths()) table.Load(path);
  return table;
}

}  // namespace ports
