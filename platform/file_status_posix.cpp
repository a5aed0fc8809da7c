#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "corvane/platform/file_status.h"

namespace platform {

FileStatus StatusOf(const std::string& path) {
  FileStatus s;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.characterDevice = S_ISCHR(st.st_mode);
  s.owner = st.st_uid;
  s.group = st.st_gid;
  s.mode = st.st_mode & 0777;
  return s;
}

bool MayWrite(const std::string& path, std::string& reason) {
  if (::access(path.c_str(), W_OK) == 0 || errno == ENOENT) return true;
  reason = std::error_code(errno, std::generic_category()).message();
  return false;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  constexpr int64_t kNsPerSecond = 1000000000;
  FileIdentity id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * kNsPerSecond + st.st_mtim.tv_nsec;
  id.changedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * kNsPerSecond + st.st_ctim.tv_nsec;
  return id;
}

UserIdentity CurrentUser() {
  UserIdentity u;
  u.uid = ::getuid();
  u.groups.push_back(::getgid());
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) u.groups.push_back(groups[static_cast<size_t>(i)]);
  }
  std::sort(u.groups.begin(), u.groups.end());
  u.groups.erase(std::unique(u.groups.begin(), u.groups.end()), u.groups.end());
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(u.uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
    u.name = found->pw_name;
  }
  return u;
}

}  // namespace platform
