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

}  // namespace platform
