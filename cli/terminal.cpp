#include "cli/terminal.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace cli {

// Until the platform layer answers "is this stream a terminal", the answer comes from what
// standard output is open on: a terminal device (/dev/pts/N, /dev/ttyN, /dev/tty) or anything
// else (a pipe, a file, /dev/null). Where that cannot be told, no bars are drawn: a log full of
// redraws is worse than a quiet terminal.
bool StandardOutputIsTerminal() {
  const char* term = std::getenv("TERM");
  if (term == nullptr || std::string(term) == "dumb") return false;
  std::error_code ec;
  const std::string target = std::filesystem::read_symlink("/proc/self/fd/1", ec).string();
  if (ec) return false;
  return target.rfind("/dev/pts/", 0) == 0 || target.rfind("/dev/tty", 0) == 0 ||
         target == "/dev/console";
}

}  // namespace cli
