#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/export.h"

// One serial device, opened exclusively, raw, without blocking.
//
// This is the whole of what the link needs from the operating system. The POSIX backend uses
// termios; a Win32 backend with overlapped I/O implements the same operations.
namespace platform {

enum class IoStatus {
  kOk,
  kTimeout,    // nothing happened within the wait
  kVanished,   // the device is gone (unplugged, re-enumerated, far end of a pseudo-terminal closed)
  kError,      // any other failure; the device is still there
  kCancelled,  // the run was cancelled: nothing was done (or the wait ended early)
};

enum class Parity : uint8_t { kNone = 0, kOdd = 1, kEven = 2, kMark = 3, kSpace = 4 };
enum class StopBits : uint8_t { kOne = 0, kOneAndHalf = 1, kTwo = 2 };

struct LineParams {
  uint32_t baud = 115200;
  uint8_t dataBits = 8;
  Parity parity = Parity::kNone;
  StopBits stopBits = StopBits::kOne;
};

class CORVANE_API SerialDevice {
 public:
  virtual ~SerialDevice();

  // A device of the platform's own kind, not yet open.
  static std::unique_ptr<SerialDevice> Create();

  virtual bool Open(const std::string& path) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Raw mode with the given line parameters, no flow control.
  virtual bool SetLine(const LineParams& params) = 0;
  virtual bool SetBaud(uint32_t baud) = 0;
  virtual bool SetDtr(bool on) = 0;
  virtual bool Purge(bool rx, bool tx) = 0;

  // Reads what is queued, at most `max` bytes; never waits. `got` is 0 when nothing was queued.
  virtual IoStatus Read(void* buffer, size_t max, size_t& got) = 0;

  // Writes all `length` bytes, waiting at most `timeoutMs` real milliseconds for the device to
  // take them.
  virtual IoStatus Write(const void* buffer, size_t length, int timeoutMs) = 0;

  // Waits until the transmit queue is empty, at most `timeoutMs` real milliseconds.
  virtual IoStatus Drain(int timeoutMs) = 0;

  // Waits until input is queued, at most `timeoutMs` real milliseconds.
  virtual IoStatus WaitReadable(int timeoutMs) = 0;

  // Once `cancellation` is cancelled, reads, writes, drains and waits return kCancelled at once,
  // and a wait in progress ends. Null watches nothing; it must outlive the device's use.
  void WatchCancellation(const Cancellation* cancellation) { cancellation_ = cancellation; }

 protected:
  bool Cancelled() const { return cancellation_ != nullptr && cancellation_->IsCancelled(); }

  const Cancellation* cancellation_ = nullptr;
};

// Whether an exclusive open of the device at `path` is refused because an open of it somewhere
// holds it (another program's, another run's or this process's own). A device that cannot be
// opened for any other reason, or that is free, is not held.
CORVANE_API bool HeldElsewhere(const std::string& path);

}  // namespace platform
