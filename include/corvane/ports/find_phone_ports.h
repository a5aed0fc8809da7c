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
// Nothing is raised: a device tree that cannot be read (or a port that vanishes while it is
// read) contributes no entries, so a system that cannot be asked gives an empty list.
CORVANE_API void FindPhonePorts(std::vector<SerialPortEntry>& ports, int probeBusy, int modemClass,
                                int clearFirst);

namespace ports {

// The maker's phones and a few other accepted interfaces, by the beginning of the description.
CORVANE_API bool AcceptedByNameFilter(const std::string& description);

// Keeps the entries the filter accepts (and, when probing, that can be opened) and fills their
// short names.
CORVANE_API void FinalPass(std::vector<SerialPortEntry>& ports, bool probeBusy);

// The description without a trailing " #n" instance suffix.
CORVANE_API std::string ShortName(const std::string& description);

}  // namespace ports
