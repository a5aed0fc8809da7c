#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// Who owns a file and who may use it, as the system keeps it: what a port's diagnosis needs to
// say why a user cannot open a phone port and which group would let them.
namespace platform {

struct FileStatus {
  bool exists = false;
  bool characterDevice = false;
  uint32_t owner = 0;
  uint32_t group = 0;
  uint32_t mode = 0;  // permission bits (0777)
};

// The status of `path` after its symbolic links.
CORVANE_API FileStatus StatusOf(const std::string& path);

struct UserIdentity {
  uint32_t uid = 0;
  std::vector<uint32_t> groups;  // the primary group and the supplementary ones
  std::string name;              // the login name ("" when it has none)
};

// The user this process runs as.
CORVANE_API UserIdentity CurrentUser();

}  // namespace platform
