// Windows keeps no owner-only directories for this program: the only thing they hold is the
// announcement of a simulated phone's pseudo-terminal, and Windows has no pseudo-terminals. Every
// directory is refused, so that nothing is ever announced or read from a place another user
// could have reached, and no announced path is a terminal to open.

#include <windows.h>

#include <vector>

#include "corvane/platform/private_files.h"

namespace platform {
namespace {

constexpr const char* kNoPrivateDirectories =
    ": no owner-only directory is kept on Windows (it would only hold simulated phones' "
    "announcements, and simulated phones need pseudo-terminals, which Windows does not have)";

// The last part of the user's security identifier: the number that tells this machine's users
// (or a domain's) apart, as a POSIX user id does.
int64_t RelativeId() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return -1;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  int64_t id = -1;
  if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const UCHAR parts = *GetSidSubAuthorityCount(sid);
    if (parts > 0) id = *GetSidSubAuthority(sid, static_cast<DWORD>(parts - 1));
  }
  CloseHandle(token);
  return id;
}

}  // namespace

int64_t UserId() {
  static const int64_t id = RelativeId();
  return id;
}

std::string PrivateDirectoryProblem(const std::string& path, int64_t owner) {
  (void)owner;
  return path + kNoPrivateDirectories;
}

std::string MakePrivateDirectory(const std::string& path, bool closeOwn) {
  (void)closeOwn;
  return path + kNoPrivateDirectories;
}

// No owner is told, so that no file counts as this user's own.
std::optional<int64_t> FileOwner(const std::string& path) {
  (void)path;
  return std::nullopt;
}

bool IsPseudoTerminalPeer(const std::string& path) {
  (void)path;
  return false;
}

}  // namespace platform
