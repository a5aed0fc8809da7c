#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/serial_device.h"

namespace testing_support {

// A serial device of the test's own, handed to a link with SetPortHandle: it records what the
// link asks of it, in order, and its transmit queue drains only when told to. What it stands
// for (a stalled USB adapter, a queue that still holds a request) cannot be made on a
// pseudo-terminal.
class FakeDevice : public platform::SerialDevice {
 public:
  bool Open(const std::string&) override { return true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  bool SetLine(const platform::LineParams&) override { return true; }
  bool SetBaud(uint32_t) override { return true; }
  bool SetDtr(bool) override { return true; }
  bool Purge(bool rx, bool tx) override {
    ops.push_back(std::string("purge") + (rx ? " input" : "") + (tx ? " output" : ""));
    return true;
  }
  platform::IoStatus Read(void*, size_t, size_t& got) override {
    got = 0;
    return platform::IoStatus::kOk;
  }
  platform::IoStatus Write(const void* data, size_t length, int) override {
    const auto* b = static_cast<const uint8_t*>(data);
    written.insert(written.end(), b, b + length);
    ops.push_back("write");
    return writeStatus;
  }
  platform::IoStatus Drain(int) override {
    ops.push_back("drain");
    return drainStatus;
  }
  platform::IoStatus WaitReadable(int) override { return platform::IoStatus::kTimeout; }

  bool open = true;
  std::vector<uint8_t> written;
  std::vector<std::string> ops;
  platform::IoStatus writeStatus = platform::IoStatus::kOk;
  platform::IoStatus drainStatus = platform::IoStatus::kTimeout;
};

}  // namespace testing_support
