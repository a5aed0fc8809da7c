#pragma once

#include <cstdio>
#include <string>

#include "corvane/platform/export.h"

// Terminals: whether a program may draw on a stream (progress bars, cursor movement) or must
// write plain lines, as into a file, a pipe or a log.
namespace platform {

// True when `stream` is open on a terminal (a console on Windows); false for a null stream,
// a file, a pipe or any other device.
CORVANE_API bool IsTerminal(std::FILE* stream);

// True when `path` (after its symbolic links) names a terminal device: a serial port, a USB
// modem, a pseudo-terminal. Decided without opening it, since opening a port can reset the
// device behind it or hang up the other end of a pseudo-terminal. False for /dev/null, files,
// directories and missing paths.
CORVANE_API bool IsTerminalDevice(const std::string& path);

}  // namespace platform
