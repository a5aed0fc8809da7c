#pragma once

#include <cstdint>
#include <vector>

#include "corvane/ports/serial_port_entry.h"

// What the Qualcomm modem steps (qualcomm.cpp) keep between calls.
struct QualcommState {
  int32_t nonHdlcMode = 0;                // the modem's download mode takes raw transfers
  std::vector<SerialPortEntry> portList;  // ports found by SearchUSBDevice
};
