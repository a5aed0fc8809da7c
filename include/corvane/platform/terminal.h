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

// Readies `stream`'s terminal for what a program redraws on it (progress bars, colours) and says
// whether it may: true for a terminal that moves its cursor (POSIX: TERM names one, and not
// "dumb"; Windows: a console that took the virtual-terminal sequences, and whose output is set
// to UTF-8 for as long as the program runs). False leaves plain lines, as into a file or a pipe.
CORVANE_API bool PrepareForDrawing(std::FILE* stream);

// True when `path` (after its symbolic links) names a terminal device: a serial port, a USB
// modem, a pseudo-terminal. Decided without opening it, since opening a port can reset the
// device behind it or hang up the other end of a pseudo-terminal. False for /dev/null, files,
// directories and missing paths. Windows: a COM port the system has (COM3, \\.\COM3).
CORVANE_API bool IsTerminalDevice(const std::string& path);

}  // namespace platform
