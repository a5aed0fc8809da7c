#include <unistd.h>

#include "corvane/platform/terminal.h"

namespace platform {

bool IsTerminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = ::fileno(stream);  // -1 for a stream with no descriptor
  return fd >= 0 && ::isatty(fd) == 1;
}

}  // namespace platform
