#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "corvane/ports/serial_port_entry.h"

// The pages' port scan: once a second, the phone ports of the system fill the "COM Port" and
// "Communication Driver" lists, and Start becomes available only when a port has been present
// at five scans in a row, so that a phone still enumerating (or one that drops off and comes
// back) is not started too early. A scan that finds nothing takes Start away at once.
class PortScan {
 public:
  static constexpr int kScansBeforeStart = 5;
  static constexpr int kPeriodMs = 1000;

  using Discover = std::function<std::vector<SerialPortEntry>()>;

  struct Result {
    std::vector<std::string> comTexts;      // "COM%d (ttyACM0)" per port
    std::vector<std::string> descriptions;  // the driver's description per port
    bool selectFirst = false;               // both lists select entry 0
    std::optional<bool> start;              // Start enabled or disabled; nullopt: unchanged
  };

  // The host's discovery (FindPhonePorts with no probe, the serial port class).
  static Discover SystemDiscovery();

  explicit PortScan(Discover discover = SystemDiscovery());

  Result Scan();
  void ResetSeen() { seen_ = 0; }
  int Seen() const { return seen_; }
  // The first port of the last scan that enabled Start.
  uint8_t ComPort() const { return comPort_; }
  const std::vector<SerialPortEntry>& Ports() const { return ports_; }

 private:
  Discover discover_;
  std::vector<SerialPortEntry> ports_;
  int seen_ = 0;
  uint8_t comPort_ = 0;
};

// "COM%d" with the port's number, then the system's name for it: "COM1 (ttyACM0)".
std::string ComText(const SerialPortEntry& port);
