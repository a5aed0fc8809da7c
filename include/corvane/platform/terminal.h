#pragma once

#include <cstdio>

#include "corvane/platform/export.h"

// Terminals: whether a program may draw on a stream (progress bars, cursor movement) or must
// write plain lines, as into a file, a pipe or a log.
namespace platform {

// True when `stream` is open on a terminal (a console on Windows); false for a null stream,
// a file, a pipe or any other device.
CORVANE_API bool IsTerminal(std::FILE* stream);

}  // namespace platform
