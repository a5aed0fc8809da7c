#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "corvane/platform/export.h"

// Files only this user may touch. Announcements that name a device to open must come from this
// user alone: a directory another user can write to (or swap for a link) would let that user
// point our programs at any terminal.
//
// Windows: no directory is private (every one is refused with the reason, none is made) and no
// file has an owner that can be told: the directories would only hold announcements of
// simulated phones' pseudo-terminals, which Windows does not have.
namespace platform {

// The user this process runs as (Windows: the last part of the user's security identifier).
CORVANE_API int64_t UserId();

// "" when `path` is a directory itself (not a symbolic link to one) owned by `owner` that no
// group or other user may read, write or enter; else why not, naming the path.
CORVANE_API std::string PrivateDirectoryProblem(const std::string& path, int64_t owner);

// Creates `path` with mode 0700 when it is missing (its parent must exist), then checks it as
// above against this user: "" when it may be used, else why not. With `closeOwn`, a directory of
// this user's that others may use is closed to them (mode 0700) instead of refused: for one
// inside a directory already private, which no one else could have reached.
CORVANE_API std::string MakePrivateDirectory(const std::string& path, bool closeOwn = false);

// The owner of `path` itself (a symbolic link is not followed); nullopt when it cannot be read.
CORVANE_API std::optional<int64_t> FileOwner(const std::string& path);

// Whether `path` names the host's side of a pseudo-terminal, a character device /dev/pts/N: the
// only device a simulated phone's announcement may name.
CORVANE_API bool IsPseudoTerminalPeer(const std::string& path);

}  // namespace platform
