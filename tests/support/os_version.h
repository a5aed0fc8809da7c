#pragma once

#include <optional>

#include "corvane/platform/os_version.h"

namespace testing_support {

// Makes the system report another major version for one test, and restores the real one.
class ScopedOsVersion {
 public:
  explicit ScopedOsVersion(unsigned major) {
    platform::SetOsVersionOverride(platform::OsVersion{major, 0, 0});
  }
  ~ScopedOsVersion() { platform::SetOsVersionOverride(std::nullopt); }
  ScopedOsVersion(const ScopedOsVersion&) = delete;
  ScopedOsVersion& operator=(const ScopedOsVersion&) = delete;
};

}  // namespace testing_support
