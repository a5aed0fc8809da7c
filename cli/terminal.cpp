#include "cli/terminal.h"

#include <cstdio>

#include "corvane/platform/terminal.h"

namespace cli {

bool StandardOutputIsTerminal() { return platform::PrepareForDrawing(stdout); }

}  // namespace cli
