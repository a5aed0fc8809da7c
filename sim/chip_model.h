#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/personality.h"

namespace phonesim {

// One processor's loader inside a simulated phone. The phone hands each request to the first
// chip that takes its command code. Called on the phone's thread, under the phone's lock.
class ChipModel {
 public:
  virtual ~ChipModel() = default;

  virtual bool Takes(uint8_t command) const = 0;
  // Raw payload bytes that follow this good framed header.
  virtual size_t PayloadLength(const std::vector<uint8_t>& header) const = 0;
  virtual Reply Answer(const Packet& request) = 0;
  // What a benchmark calls the host's traffic with this chip ("emmc", "modem"), so that the
  // phone's waits for the host can be told apart by what they were part of.
  virtual const char* Channel() const { return "other"; }
};

}  // namespace phonesim
