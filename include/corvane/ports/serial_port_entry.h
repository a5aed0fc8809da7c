#pragma once

#include <cstdint>
#include <string>

// One serial port through which a phone may be attached.
struct SerialPortEntry {
  std::string devicePath;   // what the port is opened with (/dev/ttyACM0)
  std::string portName;     // the system's name for it (ttyACM0)
  std::string description;  // the driver's description, which the name filter tests
  int isUsb = 0;            // attached through USB
  std::string shortName;    // description without a trailing " #n" instance suffix
  uint8_t portNumber = 0;   // number in the process-wide port table
  // USB identity, where known (0 otherwise): vendor, product, interface number.
  uint16_t usbVendor = 0;
  uint16_t usbProduct = 0;
  int usbInterface = -1;
};
