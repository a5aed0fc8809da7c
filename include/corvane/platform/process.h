#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "corvane/platform/export.h"

// The running process and its user's places on disk.
namespace platform {

CORVANE_API int64_t ProcessId();
// Whether a process with this id runs (a process of another user counts as running).
CORVANE_API bool ProcessAlive(int64_t pid);
// When the process with this id started, in the system's clock ticks since boot (Windows: its
// creation time, in 100-ns steps since 1601); nullopt when no such process runs. An id and its
// start time name one process: an id alone may be reused.
CORVANE_API std::optional<uint64_t> ProcessStartTime(int64_t pid);
// A directory private to this user for run-time files: the session's runtime directory where
// there is one, else tarvex-<uid> under the temporary directory, created with mode 0700. One
// found there already is used only when it is a real directory of this user's that no one else
// may use; otherwise "" and `problem` says why. Windows: always "", with the reason (see
// private_files.h).
CORVANE_API std::string UserRuntimeDirectory(std::string* problem = nullptr);
// The directory holding the running program ("" if unknown).
CORVANE_API std::string ExecutableDirectory();
// The most memory this process has held resident so far, in bytes.
CORVANE_API uint64_t PeakResidentBytes();
// Whether `directory` is where the system installs programs (/usr; Windows: the Program Files
// folders): a program there keeps its settings in the user's configuration directory even when
// it could write beside itself (root, an administrator).
CORVANE_API bool InSystemProgramDirectory(const std::string& directory);
// The user's configuration directory (~/.config; Windows: %APPDATA%), "" without a home.
CORVANE_API std::string UserConfigDirectory();
// The user's data directory (~/.local/share; Windows: %LOCALAPPDATA%), "" without a home.
CORVANE_API std::string UserDataDirectory();
// This machine's name and the user's login name ("" when unknown).
CORVANE_API std::string HostName();
CORVANE_API std::string UserName();

}  // namespace platform
