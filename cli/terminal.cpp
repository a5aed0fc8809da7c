#include "cli/terminal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "corvane/platform/terminal.h"

namespace cli {

// A terminal that calls itself "dumb" (or names no type at all, as under some service
// managers) may not move the cursor, so bars are drawn only where TERM names a real one.
bool StandardOutputIsTerminal() {
  // The environment is only read once the program runs; nothing sets it.
  const char* term = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe)
  if (term == nullptr || std::string(term) == "dumb") return false;
  return platform::IsTerminal(stdout);
}

}  // namespace cli
