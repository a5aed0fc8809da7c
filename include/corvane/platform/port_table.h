#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// Process-wide table of serial port numbers.
//
// The link addresses a port by an 8-bit number (1..255). On Linux the number maps to a device
// path (/dev/ttyACM0, a simulated phone's pseudo-terminal, ...); discovery fills the table, and a
// number stays bound to its path for the life of the process.
//
// On Windows the number is the COM number: port 12 is \\.\COM12 whether or not discovery saw it,
// "COM12" and "\\.\COM12" are both bound to 12, and a name that is no COM port gets no number.
namespace platform {

struct PortBinding {
  uint8_t number = 0;
  std::string path;
};

// The number bound to `path`, binding the lowest free number first if it has none.
// Returns 0 when all 255 numbers are taken or the path is empty.
CORVANE_API uint8_t BindPort(const std::string& path);

// The path bound to `number`, or "" when it has none.
CORVANE_API std::string PortPath(uint8_t number);

// The number bound to `path`, or 0 when it has none.
CORVANE_API uint8_t PortNumber(const std::string& path);

CORVANE_API std::vector<PortBinding> PortBindings();

// The path to open a port by when the system names ports apart from paths (Windows: "COM12" and
// "\\.\COM12" give \\.\COM12); "" for any other name, and always on POSIX systems, where a
// port's name is its path.
CORVANE_API std::string SystemPortPath(const std::string& name);

// How Windows names COM ports, on every system: the number of "COM12", "com12" or "\\.\COM12"
// (1..255), 0 for any other name; and the path of a number ("\\.\COM12").
CORVANE_API uint8_t ComPortNumber(const std::string& name);
CORVANE_API std::string ComPortPath(uint8_t number);

}  // namespace platform
