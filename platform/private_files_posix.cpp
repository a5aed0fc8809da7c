#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "corvane/platform/private_files.h"

namespace platform {

int64_t UserId() { return static_cast<int64_t>(::getuid()); }

std::string PrivateDirectoryProblem(const std::string& path, int64_t owner) {
  struct stat st {};
  // lstat: a link would let whoever owns it redirect us after the check.
  if (::lstat(path.c_str(), &st) != 0) return path + ": " + std::generic_category().message(errno);
  if (S_ISLNK(st.st_mode)) return path + " is a symbolic link, not a directory of this user's own";
  if (!S_ISDIR(st.st_mode)) return path + " is not a directory";
  if (static_cast<int64_t>(st.st_uid) != owner) {
    return path + " belongs to user " + std::to_string(st.st_uid) + ", not to user " +
           std::to_string(owner);
  }
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return path + " has mode " + mode + ": other users may use it (it must be 0700)";
  }
  return {};
}

std::string MakePrivateDirectory(const std::string& path, bool closeOwn) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create " + path + ": " + std::generic_category().message(errno);
  }
  if (closeOwn) {
    // Opened without following a link, so that the mode changed is that of the directory
    // checked, never of what a link names.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && static_cast<int64_t>(st.st_uid) == UserId() &&
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
      ::fchmod(fd, S_IRWXU);
    }
    if (fd >= 0) ::close(fd);
  }
  return PrivateDirectoryProblem(path, UserId());
}

std::optional<int64_t> FileOwner(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_uid);
}

bool IsPseudoTerminalPeer(const std::string& path) {
  static const std::string kPts = "/dev/pts/";
  if (path.size() <= kPts.size() || path.compare(0, kPts.size(), kPts) != 0) return false;
  // Digits only: no "..", no second level, nothing that leads out of /dev/pts.
  if (!std::all_of(path.begin() + static_cast<std::ptrdiff_t>(kPts.size()), path.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace platform
