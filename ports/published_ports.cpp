#include "corvane/ports/published_ports.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "corvane/platform/process.h"

namespace ports {
namespace fs = std::filesystem;
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::string& Override() {
  static std::string directory;
  return directory;
}

// One file per port, named after the device path.
std::string FileName(const std::string& path) {
  std::string name;
  for (char c : path) name += (c == '/' ? '_' : c);
  return name + ".port";
}

struct Announcement {
  PublishedPort port;
  int64_t owner = 0;
};

bool ReadAnnouncement(const fs::path& file, Announcement& a) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    try {
      if (key == "path") a.port.path = value;
      if (key == "description") a.port.description = value;
      if (key == "vendor") a.port.vendor = static_cast<uint16_t>(std::stoul(value, nullptr, 16));
      if (key == "product") a.port.product = static_cast<uint16_t>(std::stoul(value, nullptr, 16));
      if (key == "interface") a.port.interface = std::stoi(value);
      if (key == "owner") a.owner = std::stoll(value);
    } catch (const std::exception&) {
      return false;
    }
  }
  return !a.port.path.empty();
}

}  // namespace

void SetPublishDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> guard(Lock());
  Override() = directory;
}

std::string PublishDirectory() {
  {
    std::lock_guard<std::mutex> guard(Lock());
    if (!Override().empty()) return Override();
  }
  return platform::UserRuntimeDirectory() + "/tarvex-ports";
}

bool PublishPort(const PublishedPort& port) {
  const fs::path dir = PublishDirectory();
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path file = dir / FileName(port.path);
  const fs::path temp = dir / (FileName(port.path) + ".tmp");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "path=" << port.path << "\ndescription=" << port.description << std::hex
        << "\nvendor=" << port.vendor << "\nproduct=" << port.product << std::dec
        << "\ninterface=" << port.interface << "\nowner=" << platform::ProcessId() << "\n";
    if (!out) return false;
  }
  // Renamed into place so that a reader never sees half an announcement.
  fs::rename(temp, file, ec);
  return !ec;
}

void UnpublishPort(const std::string& path) {
  std::error_code ec;
  fs::remove(fs::path(PublishDirectory()) / FileName(path), ec);
}

std::vector<PublishedPort> PublishedPorts() {
  std::vector<PublishedPort> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(PublishDirectory(), ec)) {
    if (entry.path().extension() != ".port") continue;
    Announcement a;
    const bool readable = ReadAnnouncement(entry.path(), a);
    std::error_code exists;
    if (!readable || !platform::ProcessAlive(a.owner) || !fs::exists(a.port.path, exists)) {
      std::error_code ignored;
      fs::remove(entry.path(), ignored);
      continue;
    }
    out.push_back(std::move(a.port));
  }
  return out;
}

}  // namespace ports
