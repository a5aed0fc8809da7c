#pragma once

#include <optional>

#include "corvane/platform/export.h"

// The operating-system version decides sizes and attempt counts of some sequences: newer systems
// (major version 10 and up) take larger chunks and more attempts. Windows: the kernel's own
// answer, not the 6.2 that GetVersionEx gives a program without a manifest.
namespace platform {

struct OsVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
};

CORVANE_API OsVersion GetOsVersion();

// Tests set an older version to exercise the older systems' rules; nullopt restores the real one.
CORVANE_API void SetOsVersionOverride(std::optional<OsVersion> version);

}  // namespace platform
