#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/packet.h"

namespace phonesim {

// What the phone sends back for one request.
struct Reply {
  enum class Kind { kNone, kFrame, kRaw };

  Kind kind = Kind::kNone;
  std::vector<uint8_t> data;  // frame contents (the check sequence is added) or raw bytes
  bool leave = false;         // the phone leaves the link after sending (reset, USB switch)

  static Reply None() { return {}; }
  static Reply Frame(std::vector<uint8_t> body) { return {Kind::kFrame, std::move(body), false}; }
  static Reply Raw(std::vector<uint8_t> bytes) { return {Kind::kRaw, std::move(bytes), false}; }
  static Reply Ack() { return Frame({0x50}); }
  static Reply Nak() { return Frame({0x51}); }
};

// The chip behaviour of a simulated phone: how long its requests are and how it answers them.
// Called on the phone's own thread, one request at a time.
class Personality : public PacketSizer {
 public:
  // The answer to a request (a request whose check failed arrives here too).
  virtual Reply Answer(const Packet& request) = 0;

  // How this phone refuses a request: DLOAD's NAK (0x03) for raw requests, the boot loader's
  // "Q" (0x51) for frames.
  virtual Reply Refusal(const Packet& request) const {
    return request.framed ? Reply::Nak() : Reply::Frame({0x03});
  }

  // What the exchange with `request` was part of, for the phone's statistics ("" for a phone
  // that tells its exchanges apart by nothing).
  virtual std::string Channel(const Packet& request) const {
    (void)request;
    return "";
  }
};

}  // namespace phonesim
