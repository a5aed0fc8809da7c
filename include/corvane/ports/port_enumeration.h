#pragma once

#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/ports/serial_port_entry.h"
#include "corvane/ports/usb_descriptions.h"

// The serial ports the system has, with the descriptions their drivers would give: one backend
// per operating system (port_enumeration_linux.cpp reads sysfs), plus the ports that simulated
// phones publish. Each entry is bound to a number in the process-wide port table.
namespace ports {

// Where the system's device tree is read ("" = the real one); tests point it at a fake tree.
CORVANE_API void SetSystemRoot(const std::string& root);
// The device tree read now ("/sys" unless a test set another).
CORVANE_API std::string SystemRoot();

// `modemClass`: only modem-class (USB CDC ACM) interfaces.
CORVANE_API std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass);

// The same with an explicit system root and description table (tests build fake trees).
CORVANE_API std::vector<SerialPortEntry> EnumerateSerialPorts(bool modemClass,
                                                              const std::string& sysRoot,
                                                              const UsbDescriptionTable& table);

}  // namespace ports
