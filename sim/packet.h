#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace phonesim {

// One request as the phone received it.
struct Packet {
  bool framed = true;            // HDLC frame (false: raw request with its check sequence)
  std::vector<uint8_t> body;     // unescaped contents without the check sequence
  bool checkOk = false;          // the check sequence was right
  std::vector<uint8_t> payload;  // raw bytes that followed a framed header

  uint8_t Command() const { return body.empty() ? 0 : body[0]; }
};

// What a phone's personality tells the reader about the sizes of its requests.
class PacketSizer {
 public:
  // Raw-request lengths: the phone takes no raw requests (stray bytes are dropped) ...
  static constexpr size_t kNoRaw = std::numeric_limits<size_t>::max();
  // ... or a raw request ends where its check sequence first matches.
  static constexpr size_t kUntilCheck = 0;

  virtual ~PacketSizer() = default;

  // Bytes of raw payload that follow this good framed header on the wire.
  virtual size_t PayloadLength(const std::vector<uint8_t>& header) const = 0;

  // Total length (check sequence included) of the raw request that starts with these bytes,
  // kUntilCheck, or kNoRaw. `available` is at least 1.
  virtual size_t RawLength(const uint8_t* data, size_t available) const = 0;
};

}  // namespace phonesim
