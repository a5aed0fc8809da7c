#include <mutex>

#include "corvane/platform/os_version.h"

namespace platform {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::optional<OsVersion>& Override() {
  static std::optional<OsVersion> value;
  return value;
}

}  // namespace

// Linux counts as a modern system: the serial stack takes large writes and fast retries.
OsVersion GetOsVersion() {
  std::lock_guard<std::mutex> guard(Lock());
  if (Override()) return *Override();
  return OsVersion{10, 0, 0};
}

void SetOsVersionOverride(std::optional<OsVersion> version) {
  std::lock_guard<std::mutex> guard(Lock());
  Override() = version;
}

}  // namespace platform
