#include "corvane/ports/published_ports.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "corvane/platform/path.h"
#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"

namespace ports {
namespace fs = std::filesystem;
namespace {

constexpr const char* kRunPrefix = "run-";

struct Settings {
  std::string directory;
  int privateRuns = 0;        // runs of this process that keep their announcements to it
  fs::path privateDirectory;  // theirs, while there is one
};

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

Settings& State() {
  static Settings settings;
  return settings;
}

Settings Current() {
  std::lock_guard<std::mutex> guard(Lock());
  return State();
}

// One file per port, named after the device path.
std::string FileName(const std::string& path) {
  std::string name;
  for (char c : path) name += (c == '/' ? '_' : c);
  return name + ".port";
}

std::string SharedDirectory(const Settings& s, std::string* problem = nullptr) {
  if (!s.directory.empty()) return s.directory;
  const std::string runtime = platform::UserRuntimeDirectory(problem);
  return runtime.empty() ? std::string() : runtime + "/tarvex-ports";
}

fs::path RunDirectory(const fs::path& shared) {
  return shared / (kRunPrefix + std::to_string(platform::ProcessId()));
}

// The shared directory, made if missing; "" with `problem` set when it may not be used.
fs::path UsableSharedDirectory(const Settings& s, std::string& problem) {
  const std::string dir = SharedDirectory(s, &problem);
  if (dir.empty()) {
    problem = "simulated phones' ports are neither announced nor read: " + problem;
    return {};
  }
  // Inside the private runtime directory; one that earlier versions made 0755 is closed.
  problem = platform::MakePrivateDirectory(dir, true);
  if (!problem.empty()) {
    problem = "simulated phones' ports are neither announced nor read: " + problem;
    return {};
  }
  return platform::PathOf(dir);
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
      if (key == "interface") a.port.interfaceNumber = std::stoi(value);
      if (key == "usbpath") a.port.usbPath = value;
      if (key == "usbserial") a.port.usbSerial = value;
      if (key == "usbaddress") a.port.usbAddress = value;
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

// A run that ended without removing its directory (it was killed) leaves it behind.
void SweepEndedRun(const fs::path& dir) {
  const std::string name = platform::Utf8Of(dir.filename());
  try {
    const int64_t pid = std::stoll(name.substr(std::char_traits<char>::length(kRunPrefix)));
    if (pid == platform::ProcessId() || platform::ProcessAlive(pid)) return;
  } catch (const std::exception&) {
    return;
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

void ReadDirectory(const fs::path& dir, std::vector<PublishedPort>& out) {
  const int64_t user = platform::UserId();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::error_code status;
    const fs::file_status type = entry.symlink_status(status);
    const std::string name = platform::Utf8Of(entry.path().filename());
    if (fs::is_directory(type) && name.rfind(kRunPrefix, 0) == 0) {
      SweepEndedRun(entry.path());
      continue;
    }
    if (entry.path().extension() != ".port" || !fs::is_regular_file(type)) continue;
    // Another user's file is not ours to judge or remove: it is passed over.
    if (platform::FileOwner(platform::Utf8Of(entry.path())) != user) continue;
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
}

}  // namespace

void SetPublishDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> guard(Lock());
  State().directory = directory;
}

std::string PublishDirectory() { return SharedDirectory(Current()); }

std::string PublishRefusal() {
  std::string problem;
  UsableSharedDirectory(Current(), problem);
  return problem;
}

std::string BeginPrivateRun() {
  std::lock_guard<std::mutex> guard(Lock());
  std::string problem;
  const fs::path shared = UsableSharedDirectory(State(), problem);
  if (shared.empty()) return problem;
  const fs::path own = State().privateRuns > 0 ? State().privateDirectory : RunDirectory(shared);
  problem = platform::MakePrivateDirectory(platform::Utf8Of(own), true);
  if (!problem.empty()) return "this run's simulated phones cannot be announced: " + problem;
  State().privateDirectory = own;
  ++State().privateRuns;
  return {};
}

void EndPrivateRun() {
  std::lock_guard<std::mutex> guard(Lock());
  if (State().privateRuns == 0 || --State().privateRuns > 0) return;
  std::error_code ignored;
  fs::remove_all(State().privateDirectory, ignored);
  State().privateDirectory.clear();
}

bool PublishPort(const PublishedPort& port) {
  const Settings s = Current();
  std::string problem;
  fs::path dir = UsableSharedDirectory(s, problem);
  if (dir.empty()) return false;
  if (s.privateRuns > 0) {
    dir = s.privateDirectory;
    if (!platform::MakePrivateDirectory(platform::Utf8Of(dir), true).empty()) return false;
  }
  const std::optional<uint64_t> started = platform::ProcessStartTime(platform::ProcessId());
  if (!started) return false;  // no announcement that every reader would take for stale
  const std::string name = FileName(port.path);
  const fs::path file = dir / platform::PathOf(name);
  const fs::path temp = dir / platform::PathOf(name + ".tmp");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "path=" << port.path << "\ndescription=" << port.description << std::hex
        << "\nvendor=" << port.vendor << "\nproduct=" << port.product << std::dec
        << "\ninterface=" << port.interfaceNumber << "\nusbpath=" << port.usbPath
        << "\nusbserial=" << port.usbSerial << "\nusbaddress=" << port.usbAddress
        << "\nowner=" << platform::ProcessId() << "\nstarted=" << *started << "\n";
    if (!out) return false;
  }
  // Renamed into place so that a reader never sees half an announcement.
  std::error_code ec;
  fs::rename(temp, file, ec);
  return !ec;
}

void UnpublishPort(const std::string& path) {
  const Settings s = Current();
  std::error_code ec;
  const fs::path name = platform::PathOf(FileName(path));
  if (!s.privateDirectory.empty()) fs::remove(s.privateDirectory / name, ec);
  const std::string shared = SharedDirectory(s);
  if (!shared.empty()) fs::remove(platform::PathOf(shared) / name, ec);
}

std::vector<PublishedPort> PublishedPorts() {
  const Settings s = Current();
  std::string problem;
  const fs::path shared = UsableSharedDirectory(s, problem);
  if (shared.empty()) return {};
  std::vector<PublishedPort> out;
  ReadDirectory(shared, out);
  if (s.privateRuns > 0 &&
      platform::PrivateDirectoryProblem(platform::Utf8Of(s.privateDirectory), platform::UserId())
          .empty()) {
    ReadDirectory(s.privateDirectory, out);
  }
  return out;
}

}  // namespace ports
