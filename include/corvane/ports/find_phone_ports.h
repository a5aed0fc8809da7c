#pragma once

#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/ports/serial_port_entry.h"

// Lists the serial ports through which a supported phone is attached.
//
// `probeBusy`: open every kept port once, exclusively, and drop those another program holds.
// `modemClass`: only modem-class interfaces (USB CDC ACM on Linux) instead of all serial ports.
// `clearFirst`: empty `ports` first; otherwise new entries are appended.
// A failure to ask the system is raised as std::runtime_error with its text.
CORVANE_API void FindPhonePorts(std::vector<SerialPortEntry>& ports, int probeBusy,
                                int modemClass, int clearFirst);

namespace ports {

// The maker's phones and a few other accepted interfaces, by the beginning of the description.
CORVANE_API bool AcceptedByNameFilter(const std::string& description);

// Keeps the entries the filter accepts (and, when probing, that can be opened) and fills their
// short names.
CORVANE_API void FinalPass(std::vector<SerialPortEntry>& ports, bool probeBusy);

// The description without a trailing " #n" instance suffix.
CORVANE_API std::string ShortName(const std::string& description);

}  // namespace ports
