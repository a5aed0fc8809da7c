#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "corvane/platform/export.h"
#include "corvane/platform/serial_device.h"

// The far end of a simulated serial port.
//
// A simulated phone owns the controlling side of a pseudo-terminal; the host opens the other side
// by its path exactly as it opens a USB serial port. Closing the controlling side makes the port
// vanish under the host, as an unplugged phone does.
namespace platform {

class CORVANE_API PseudoTerminal {
 public:
  virtual ~PseudoTerminal();

  // A new raw pseudo-terminal, or null with `error` set.
  static std::unique_ptr<PseudoTerminal> Create(std::string* error = nullptr);
  // "" where the system has pseudo-terminals; otherwise why no simulated phone can be made, in
  // words for the user (Windows has none).
  static std::string Unavailable();

  // The path that the host opens (/dev/pts/N).
  virtual const std::string& Path() const = 0;

  // Waits up to `timeoutMs` real milliseconds for input, then reads what is there (at most `max`).
  virtual IoStatus Read(void* buffer, size_t max, size_t& got, int timeoutMs) = 0;

  // Writes as many bytes as the host takes within `timeoutMs` real milliseconds; `written` says
  // how many. kOk when all were written, kTimeout when the host took fewer.
  virtual IoStatus Write(const void* buffer, size_t length, size_t& written, int timeoutMs) = 0;

  // Bytes written to the host that it has not read (nor discarded) yet, those the terminal has
  // not handed to the host side at the moment of the call included.
  virtual size_t PendingForHost() const = 0;

  // Closes the controlling side: the host's port vanishes. Further calls fail.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace platform
