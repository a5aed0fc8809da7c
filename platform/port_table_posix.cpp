// On POSIX systems a port is named by its device path; numbers are handed out as paths appear.

#include "corvane/platform/port_table.h"

#include <array>
#include <mutex>

namespace platform {
namespace {

struct Table {
  std::mutex lock;
  std::array<std::string, 256> paths;  // index = port number; [0] stays empty

  uint8_t Find(const std::string& path) const {
    for (unsigned n = 1; n < paths.size(); ++n) {
      if (paths[n] == path) return static_cast<uint8_t>(n);
    }
    return 0;
  }
};

Table& TheTable() {
  static Table table;
  return table;
}

}  // namespace

uint8_t BindPort(const std::string& path) {
  if (path.empty()) return 0;
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  if (const uint8_t known = t.Find(path)) return known;
  for (unsigned n = 1; n < t.paths.size(); ++n) {
    if (t.paths[n].empty()) {
      t.paths[n] = path;
      return static_cast<uint8_t>(n);
    }
  }
  return 0;
}

std::string PortPath(uint8_t number) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.paths[number];
}

uint8_t PortNumber(const std::string& path) {
  if (path.empty()) return 0;
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.Find(path);
}

std::vector<PortBinding> PortBindings() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  std::vector<PortBinding> out;
  for (unsigned n = 1; n < t.paths.size(); ++n) {
    if (!t.paths[n].empty()) out.push_back({static_cast<uint8_t>(n), t.paths[n]});
  }
  return out;
}

std::string SystemPortPath(const std::string& /*name*/) { return ""; }

}  // namespace platform
