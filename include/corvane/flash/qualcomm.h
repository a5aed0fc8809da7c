#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/ports/serial_port_entry.h"

// What the Qualcomm modem steps (qualcomm.cpp) keep between calls.
struct QualcommState {
  int32_t nonHdlcMode = 0;                // the modem's download mode takes raw transfers
  std::vector<SerialPortEntry> portList;  // ports found by SearchUSBDevice
  // The ports as they were just before the phone was last told to leave its port, and the USB
  // socket of that port ("" unknown): the phone comes back on a port not among them, there.
  std::vector<SerialPortEntry> beforeSwitch;
  std::string usbPath;
};
