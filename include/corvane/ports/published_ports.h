#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// Serial ports announced by programs rather than by the kernel: a simulated phone publishes its
// pseudo-terminal here, with the description its driver would give, so that port discovery finds
// it like a USB phone, in this process or any other of the same user.
namespace ports {

struct PublishedPort {
  std::string path;         // /dev/pts/N
  std::string description;  // "Zelco Mobile USB Modem"
  uint16_t vendor = 0;
  uint16_t product = 0;
  int interfaceNumber = -1;
  std::string usbPath{};     // where the phone is plugged in, as SerialPortEntry::usbPath
  std::string usbSerial{};   // its USB serial number
  std::string usbAddress{};  // new for each appearance, as SerialPortEntry::usbAddress
};

// Where announcements are kept; tests point this at a directory of their own ("" = default:
// tarvex-ports in the user's runtime directory; "" when that directory is refused).
CORVANE_API void SetPublishDirectory(const std::string& directory);
CORVANE_API std::string PublishDirectory();

// Why announcements are neither made nor read ("" when they are): the directory that keeps them,
// or the runtime directory it lies in, is not a directory of this user's that no one else may
// use. A missing one is created with mode 0700.
CORVANE_API std::string PublishRefusal();

// From now on this process's announcements are its own: kept in a directory of this process's
// (<publish directory>/run-<pid>, mode 0700) that discovery reads in this process only, beside
// the shared one. A run's simulated phones are then never taken by another run. "" when the
// directory could be made, else why not (and nothing changed).
CORVANE_API std::string BeginPrivateRun();
// Ends one private run; after the last, this process's own announcements are removed with their
// directory and announcements are shared again.
CORVANE_API void EndPrivateRun();

CORVANE_API bool PublishPort(const PublishedPort& port);
CORVANE_API void UnpublishPort(const std::string& path);

// The announcements of this user whose pseudo-terminal still exists and whose publisher still
// runs (the same process: its id and start time); stale ones are removed on the way. Nothing when
// PublishRefusal() says why.
CORVANE_API std::vector<PublishedPort> PublishedPorts();

}  // namespace ports
