#include "corvane/ports/published_ports.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "corvane/platform/private_files.h"
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

std::string CurrentOverride() {
  std::lock_guard<std::mutex> guard(Lock());
  return Override();
}

// One file per port, named after the device path.
std::string FileName(const std::string& path) {
  std::string name;
  for (char c : path) name += (c == '/' ? '_' : c);
  return name + ".port";
}

std::string SharedDirectory(const std::string& override, std::string* problem = nullptr) {
  if (!override.empty()) return override;
  const std::string runtime = platform::UserRuntimeDirectory(problem);
  return runtime.empty() ? std::string() : runtime + "/tarvex-ports";
}

// The shared directory, made if missing; "" with `problem` set when it may not be used.
fs::path UsableSharedDirectory(const std::string& override, std::string& problem) {
  const std::string dir = SharedDirectory(override, &problem);
  if (dir.empty()) {
    problem = "simulated phones' ports are neither announced nor read: " + problem;
    return {};
  }
  problem = platform::MakePrivateDirectory(dir);
  if (!problem.empty()) {
    problem = "simulated phones' ports are neither announced nor read: " + problem;
    return {};
  }
  return dir;
}

struct Announcement {
  PublishedPort port;
  int64_t owner = 0;
  std::optional<uint64_t> started;
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
      if (key == "started") a.started = std::stoull(value);
    } catch (const std::exception&) {
      return false;
    }
  }
  return !a.port.path.empty();
}

// The publisher is the process that wrote the announcement only while its id runs with the
// same start time: an id alone may belong to a later process by now. Announcements without a
// start time come from before it was recorded and cannot be told from such a later process, so
// they count as stale.
bool PublisherRuns(const Announcement& a) {
  return a.started && platform::ProcessStartTime(a.owner) == a.started;
}

}  // namespace

void SetPublishDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> guard(Lock());
  Override() = directory;
}

std::string PublishDirectory() { return SharedDirectory(CurrentOverride()); }

std::string PublishRefusal() {
  std::string problem;
  UsableSharedDirectory(CurrentOverride(), problem);
  return problem;
}

bool PublishPort(const PublishedPort& port) {
  std::string problem;
  const fs::path dir = UsableSharedDirectory(CurrentOverride(), problem);
  if (dir.empty()) return false;
  const std::optional<uint64_t> started = platform::ProcessStartTime(platform::ProcessId());
  if (!started) return false;  // no announcement that every reader would take for stale
  const fs::path file = dir / FileName(port.path);
  const fs::path temp = dir / (FileName(port.path) + ".tmp");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "path=" << port.path << "\ndescription=" << port.description << std::hex
        << "\nvendor=" << port.vendor << "\nproduct=" << port.product << std::dec
        << "\ninterface=" << port.interface << "\nowner=" << platform::ProcessId()
        << "\nstarted=" << *started << "\n";
    if (!out) return false;
  }
  // Renamed into place so that a reader never sees half an announcement.
  std::error_code ec;
  fs::rename(temp, file, ec);
  return !ec;
}

void UnpublishPort(const std::string& path) {
  const std::string shared = SharedDirectory(CurrentOverride());
  if (shared.empty()) return;
  std::error_code ec;
  fs::remove(fs::path(shared) / FileName(path), ec);
}

std::vector<PublishedPort> PublishedPorts() {
  std::string problem;
  const fs::path dir = UsableSharedDirectory(CurrentOverride(), problem);
  if (dir.empty()) return {};
  const int64_t user = platform::UserId();
  std::vector<PublishedPort> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::error_code status;
    const fs::file_status type = entry.symlink_status(status);
    if (entry.path().extension() != ".port" || !fs::is_regular_file(type)) continue;
    // Another user's file is not ours to judge or remove: it is passed over.
    if (platform::FileOwner(entry.path().string()) != user) continue;
    Announcement a;
    const bool readable = ReadAnnouncement(entry.path(), a);
    // A published port is always a pseudo-terminal: any other path is never opened.
    if (!readable || !PublisherRuns(a) || !platform::IsPseudoTerminalPeer(a.port.path)) {
      std::error_code ignored;
      fs::remove(entry.path(), ignored);
      continue;
    }
    out.push_back(std::move(a.port));
  }
  return out;
}

}  // namespace ports
