#pragma once

#include <cstdint>
#include <string>

#include "corvane/platform/export.h"

// Files only this user may touch. Announcements that name a device to open must come from this
// user alone: a directory another user can write to (or swap for a link) would let that user
// point our programs at any terminal.
namespace platform {

// The user this process runs as.
CORVANE_API int64_t UserId();

// "" when `path` is a directory itself (not a symbolic link to one) owned by `owner` that no
// group or other user may read, write or enter; else why not, naming the path.
CORVANE_API std::string PrivateDirectoryProblem(const std::string& path, int64_t owner);

// Creates `path` with mode 0700 when it is missing (its parent must exist), then checks it as
// above against this user: "" when it may be used, else why not.
CORVANE_API std::string MakePrivateDirectory(const std::string& path);

}  // namespace platform
