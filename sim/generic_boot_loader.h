#pragma once

#include <cstdint>
#include <vector>

#include "sim/personality.h"

namespace phonesim {

// A boot loader that acknowledges ("P", 0x50) every good framed command and takes the payload
// announced in the 14-byte header's length field (bytes 6..9, little-endian). It answers nothing
// to a frame whose check failed and takes no raw requests. The link check and the benchmarks
// talk to it; chip personalities replace it for real procedures.
class GenericBootLoader : public Personality {
 public:
  static constexpr size_t kHeaderLength = 14;

  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  size_t RawLength(const uint8_t* data, size_t available) const override;
  Reply Answer(const Packet& request) override;

  uint64_t PayloadBytes() const { return payloadBytes_; }
  uint32_t PayloadCheck() const { return payloadCheck_; }

 private:
  uint64_t payloadBytes_ = 0;
  uint32_t payloadCheck_ = 0;  // running sum of every payload byte received
};

}  // namespace phonesim
