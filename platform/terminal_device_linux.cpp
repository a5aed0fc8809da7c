#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "corvane/platform/terminal.h"

namespace platform {
namespace {

// The kernel gives pseudo-terminal slaves the fixed majors 136 to 143 and keeps them out of
// sysfs; every other terminal is a character device of the tty class.
bool IsPtySlave(unsigned major) { return major >= 136 && major <= 143; }

bool InTtyClass(unsigned major, unsigned minor) {
  const std::string link =
      "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem";
  std::error_code ec;
  return std::filesystem::read_symlink(link, ec).filename() == "tty";
}

}  // namespace

bool IsTerminalDevice(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned major = ::major(st.st_rdev);
  const unsigned minor = ::minor(st.st_rdev);
  return IsPtySlave(major) || InTtyClass(major, minor);
}

}  // namespace platform
