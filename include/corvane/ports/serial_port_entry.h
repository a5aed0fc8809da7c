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
  // Where the phone is plugged in: the USB bus-port chain ("1-1.4.2"), which stays the same when
  // the phone re-enumerates in another mode, so it tells this phone's new port from another's.
  std::string usbPath;    // "" when unknown
  std::string usbSerial;  // the device's USB serial number, "" when it reports none
  // This enumeration of the device: its bus and address ("1.17"), which the device gets anew
  // each time it enumerates, so a port that came back under its old name is told from the one
  // that went ("" unknown).
  std::string usbAddress;
};
