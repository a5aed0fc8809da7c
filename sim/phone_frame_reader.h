#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/packet.h"

namespace phonesim {

// The phone's receiver: turns the byte stream from the host into requests.
//
// It skips leading flags, unescapes and checks frames, drops runts (the host's wake-up bytes),
// collects the raw payload that follows a header for the commands that carry one, and takes raw
// requests with their check sequence when the phone is in a mode that accepts them.
class FrameReader {
 public:
  static constexpr size_t kMaxPacket = (1u << 20) + 64;

  explicit FrameReader(const PacketSizer& sizer) : sizer_(sizer) {}

  // Feeds received bytes; complete requests are appended to `out`.
  void Feed(const uint8_t* data, size_t length, std::vector<Packet>& out);

  // Bytes that belonged to no request (runts, stray bytes, over-long frames).
  uint64_t Dropped() const { return dropped_; }

  // Forgets a partly received request (the link was reset).
  void Reset();

 private:
  enum class State { kIdle, kFrame, kPayload, kRaw };

  void OnIdle(uint8_t b, std::vector<Packet>& out);
  void OnFrame(uint8_t b, std::vector<Packet>& out);
  void OnRaw(uint8_t b, std::vector<Packet>& out);
  void EndFrame(std::vector<Packet>& out);
  void Emit(std::vector<Packet>& out);

  const PacketSizer& sizer_;
  State state_ = State::kIdle;
  std::vector<uint8_t> buffer_;  // escaped frame, or raw request so far
  size_t wanted_ = 0;            // payload or raw bytes still expected
  bool truncated_ = false;       // the frame being received was longer than the reader keeps
  Packet packet_;
  uint64_t dropped_ = 0;
};

}  // namespace phonesim
