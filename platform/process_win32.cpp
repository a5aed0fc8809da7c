// Processes and the user's places on Windows. A process's start time is its creation time as
// the system keeps it (100-ns steps since 1601), which tells one process from a later one that
// was given the same id.

#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"
#include "platform/utf16_win32.h"

namespace platform {
namespace {

struct ProcessHandle {
  HANDLE handle = nullptr;
  ~ProcessHandle() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

// An open handle to `pid`, or null; `denied` says whether it runs but may not be asked.
HANDLE OpenForQuery(int64_t pid, bool& denied) {
  denied = false;
  if (pid <= 0 || pid > static_cast<int64_t>(MAXDWORD)) return nullptr;
  const HANDLE h =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) denied = GetLastError() == ERROR_ACCESS_DENIED;
  return h;
}

// A process that ended stays until the last handle to it is closed: it no longer runs.
bool Runs(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The environment's `name` (read in UTF-16, so that a user's name in Hangul survives).
std::string Environment(const wchar_t* name) {
  // The environment is only read once the program runs; nothing sets it.
  const wchar_t* value = _wgetenv(name);  // NOLINT(concurrency-mt-unsafe)
  return value != nullptr ? Utf8(value, wcslen(value)) : std::string();
}

std::wstring KnownFolderW(REFKNOWNFOLDERID folder) {
  wchar_t* path = nullptr;
  std::wstring found;
  if (SHGetKnownFolderPath(folder, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) found = path;
  CoTaskMemFree(path);
  return found;
}

std::string KnownFolder(REFKNOWNFOLDERID folder) { return Utf8(KnownFolderW(folder)); }

// Whether `directory` is `root` or inside it, letters compared as the file system does.
bool Inside(const std::wstring& directory, std::wstring root) {
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  if (root.empty() || directory.size() < root.size() || root.size() > INT_MAX) return false;
  const int length = static_cast<int>(root.size());
  return CompareStringOrdinal(directory.data(), length, root.data(), length, TRUE) == CSTR_EQUAL &&
         (directory.size() == root.size() || directory[root.size()] == L'\\');
}

// The environment first, as XDG_CONFIG_HOME is on POSIX, so that a user (or a test) may move it.
std::string UserFolder(const wchar_t* variable, REFKNOWNFOLDERID folder) {
  const std::string set = Environment(variable);
  return set.empty() ? KnownFolder(folder) : set;
}

}  // namespace

int64_t ProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

bool ProcessAlive(int64_t pid) {
  bool denied = false;
  const ProcessHandle p{OpenForQuery(pid, denied)};
  return p.handle != nullptr ? Runs(p.handle) : denied;
}

std::optional<uint64_t> ProcessStartTime(int64_t pid) {
  bool denied = false;
  const ProcessHandle p{OpenForQuery(pid, denied)};
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (p.handle == nullptr || !Runs(p.handle) ||
      !GetProcessTimes(p.handle, &created, &exited, &kernel, &user)) {
    return std::nullopt;
  }
  return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// Nothing on Windows needs a private run-time directory (see private_files_win32.cpp): the one
// named here is refused with the reason.
std::string UserRuntimeDirectory(std::string* problem) {
  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  const std::string dir = Utf8((temp / (L"tarvex-" + std::to_wstring(UserId()))).wstring());
  const std::string refused = MakePrivateDirectory(dir);
  if (problem != nullptr) *problem = refused;
  return refused.empty() ? dir : std::string();
}

std::string ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) {
      path.resize(got);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : Utf8(path.data(), slash);
}

uint64_t PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

bool InSystemProgramDirectory(const std::string& directory) {
  const std::wstring full = FullPath(Utf16(directory));
  if (full.empty()) return false;
  return Inside(full, KnownFolderW(FOLDERID_ProgramFiles)) ||
         Inside(full, KnownFolderW(FOLDERID_ProgramFilesX86));
}

std::string UserConfigDirectory() { return UserFolder(L"APPDATA", FOLDERID_RoamingAppData); }

std::string UserDataDirectory() { return UserFolder(L"LOCALAPPDATA", FOLDERID_LocalAppData); }

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &length) ? Utf8(name, length) : std::string();
}

std::string UserName() {
  wchar_t name[257];
  DWORD length = 257;
  return GetUserNameW(name, &length) && length > 0 ? Utf8(name, length - 1) : std::string();
}

}  // namespace platform
