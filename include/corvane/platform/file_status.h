#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// Who owns a file and who may use it, as the system keeps it: what a port's diagnosis needs to
// say why a user cannot open a phone port and which group would let them.
//
// Windows keeps no owner, group or mode bits: a status says what every user may do (0666, 0444
// for a read-only file, with 0111 on directories) and is owned by no one (0); \\.\COM3 and the
// like are character devices. Identities are the volume's serial number and the file's index;
// times count from 1970 as on POSIX.
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

// What tells one version of a file from another: which file it is, its size, and when its
// content and its status last changed (nanoseconds where the file system keeps them; a file
// system with coarser times can miss a rewrite within one of its time steps).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The identity of `path` after its symbolic links; nullopt when it cannot be looked at.
CORVANE_API std::optional<FileIdentity> IdentityOf(const std::string& path);

// Whether this user may write `path` (a file that does not exist yet may be made); otherwise
// `reason` gets the system's words for why not (a read-only file, a read-only mount).
CORVANE_API bool MayWrite(const std::string& path, std::string& reason);

struct UserIdentity {
  uint32_t uid = 0;
  std::vector<uint32_t> groups;  // the primary group and the supplementary ones
  std::string name;              // the login name ("" when it has none)
};

// The user this process runs as.
CORVANE_API UserIdentity CurrentUser();

}  // namespace platform
