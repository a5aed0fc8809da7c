// Windows keeps no POSIX owner, group or mode: a file's status says what every user may do with
// it (0666, 0444 when it is read-only, with 0111 on directories), owned by no one (0); a device
// name (\\.\COM3) is a character device. The identity comes from the open file's own record.

#include <windows.h>

#include <vector>

#include "corvane/platform/file_status.h"
#include "corvane/platform/private_files.h"
#include "platform/utf16_win32.h"

namespace platform {
namespace {

constexpr int64_t kNsPer100Ns = 100;
// 100-ns steps from 1601-01-01, where Windows counts from, to 1970-01-01.
constexpr int64_t kEpochIn100Ns = 116444736000000000LL;

bool IsDeviceName(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0; }

// Whether the system knows the device `path` names, asked without opening it.
bool DeviceExists(const std::string& path) {
  const std::wstring name = Utf16(path.substr(4));
  wchar_t target[1024];
  return !name.empty() && QueryDosDeviceW(name.c_str(), target, 1024) != 0;
}

int64_t NsSince1970(LARGE_INTEGER time) { return (time.QuadPart - kEpochIn100Ns) * kNsPer100Ns; }

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Opened for its attributes only: no reading, no writing, no share refused to anyone.
HANDLE OpenForAttributes(const std::wstring& name, DWORD access) {
  return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

FileStatus StatusOf(const std::string& path) {
  FileStatus s;
  if (IsDeviceName(path)) {
    s.exists = s.characterDevice = DeviceExists(path);
    s.mode = s.exists ? 0666 : 0;
    return s;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const std::wstring name = Utf16(path);
  if (name.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return s;
  s.exists = true;
  s.mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) s.mode |= 0111;
  return s;
}

bool MayWrite(const std::string& path, std::string& reason) {
  const std::wstring name = Utf16(path);
  if (name.empty()) {
    reason = "the name is not valid UTF-8";
    return false;
  }
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;
    reason = SystemMessage(error);
    return false;
  }
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!directory && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    reason = "the file is read-only";
    return false;
  }
  // Asked of the system rather than judged from the attributes: the file's security decides.
  const HandleCloser file{OpenForAttributes(name, directory ? FILE_ADD_FILE : FILE_WRITE_DATA)};
  if (file.handle != INVALID_HANDLE_VALUE) return true;
  const DWORD error = GetLastError();
  // Another program holding it open is a passing state, not a lack of permission.
  if (error == ERROR_SHARING_VIOLATION) return true;
  reason = SystemMessage(error);
  return false;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const std::wstring name = Utf16(path);
  if (name.empty()) return std::nullopt;
  const HandleCloser file{OpenForAttributes(name, FILE_READ_ATTRIBUTES)};
  if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandle(file.handle, &info) ||
      !GetFileInformationByHandleEx(file.handle, FileBasicInfo, &times, sizeof times)) {
    return std::nullopt;
  }
  FileIdentity id;
  id.device = info.dwVolumeSerialNumber;
  id.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  id.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  id.modifiedNs = NsSince1970(times.LastWriteTime);
  id.changedNs = NsSince1970(times.ChangeTime);
  return id;
}

UserIdentity CurrentUser() {
  UserIdentity u;
  u.uid = static_cast<uint32_t>(UserId());
  wchar_t name[257];
  DWORD length = 257;
  if (GetUserNameW(name, &length) && length > 0) u.name = Utf8(name, length - 1);
  return u;
}

}  // namespace platform
