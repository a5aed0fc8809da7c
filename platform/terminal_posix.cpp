#include <unistd.h>

#include <cstdlib>
#include <string>

#include "corvane/platform/terminal.h"

namespace platform {

bool IsTerminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = ::fileno(stream);  // -1 for a stream with no descriptor
  return fd >= 0 && ::isatty(fd) == 1;
}

// A terminal that calls itself "dumb" (or names no type at all, as under some service managers)
// may not move the cursor, so bars are drawn only where TERM names a real one. Nothing needs
// setting up.
bool PrepareForDrawing(std::FILE* stream) {
  // The environment is only read once the program runs; nothing sets it.
  const char* term = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe)
  if (term == nullptr || std::string(term) == "dumb") return false;
  return IsTerminal(stream);
}

}  // namespace platform
