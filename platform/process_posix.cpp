#include <errno.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"

namespace platform {

int64_t ProcessId() { return static_cast<int64_t>(::getpid()); }

bool ProcessAlive(int64_t pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::optional<uint64_t> ProcessStartTime(int64_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // "pid (name) state ..." where the name may hold spaces and parentheses: the fields are
  // counted from the last ')'. The start time is field 22; the state is field 3.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 22; ++i) {
    if (!(fields >> field)) return std::nullopt;
  }
  try {
    size_t used = 0;
    const unsigned long long start = std::stoull(field, &used);
    if (used != field.size()) return std::nullopt;
    return static_cast<uint64_t>(start);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string UserRuntimeDirectory(std::string* problem) {
  if (problem != nullptr) problem->clear();
  // The environment is only read once the program runs; nothing sets it.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
    std::error_code ec;
    if (std::filesystem::is_directory(xdg, ec)) return xdg;
  }
  // The temporary directory is shared by every user: whoever made this name first owns it, so
  // it is taken only when it is a real directory of this user's that no one else may use.
  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  const std::string dir =
      ((ec ? std::filesystem::path("/tmp") : temp) / ("tarvex-" + std::to_string(::getuid())))
          .string();
  const std::string refused = MakePrivateDirectory(dir);
  if (problem != nullptr) *problem = refused;
  return refused.empty() ? dir : std::string();
}

std::string ExecutableDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

uint64_t PeakResidentBytes() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts kilobytes
}

bool InSystemProgramDirectory(const std::string& directory) {
  const std::filesystem::path usr("/usr");
  const std::filesystem::path normal = std::filesystem::path(directory).lexically_normal();
  const auto [end, rest] = std::mismatch(usr.begin(), usr.end(), normal.begin(), normal.end());
  return end == usr.end();
}

std::string UserConfigDirectory() {
  // The environment is only read once the program runs; nothing sets it.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) {  // NOLINT(concurrency-mt-unsafe)
    return std::string(home) + "/.config";
  }
  return {};
}

std::string UserDataDirectory() {
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) {  // NOLINT(concurrency-mt-unsafe)
    return std::string(home) + "/.local/share";
  }
  return {};
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string UserName() {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_name;
  }
  return {};
}

}  // namespace platform
