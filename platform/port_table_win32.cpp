// On Windows the port number is the COM number, so the table needs no memory but of which
// numbers the process has used; a name that is no COM port has no number to stand for it.

#include <array>
#include <mutex>

#include "corvane/platform/port_table.h"

namespace platform {
namespace {

struct Used {
  std::mutex lock;
  std::array<bool, 256> numbers{};
};

Used& TheUsed() {
  static Used used;
  return used;
}

}  // namespace

uint8_t BindPort(const std::string& path) {
  const uint8_t number = ComPortNumber(path);
  if (number != 0) {
    Used& u = TheUsed();
    std::lock_guard<std::mutex> guard(u.lock);
    u.numbers[number] = true;
  }
  return number;
}

std::string PortPath(uint8_t number) { return ComPortPath(number); }

uint8_t PortNumber(const std::string& path) { return ComPortNumber(path); }

std::vector<PortBinding> PortBindings() {
  Used& u = TheUsed();
  std::lock_guard<std::mutex> guard(u.lock);
  std::vector<PortBinding> out;
  for (unsigned n = 1; n < u.numbers.size(); ++n) {
    if (u.numbers[n])
      out.push_back({static_cast<uint8_t>(n), ComPortPath(static_cast<uint8_t>(n))});
  }
  return out;
}

std::string SystemPortPath(const std::string& name) { return ComPortPath(ComPortNumber(name)); }

}  // namespace platform
