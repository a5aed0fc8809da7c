#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/platform/export.h"

// Asynchronous HDLC framing as PPP uses it: flag 0x7E, escape 0x7D with the escaped byte XORed
// with 0x20, and the 16-bit frame check sequence (CRC-16/X-25: reflected polynomial 0x8408,
// initial value 0xFFFF, complemented, sent low byte first).
//
// Pure functions, shared by the host's codec and the simulated phone.
namespace hdlc {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr uint8_t kEscapeXor = 0x20;
constexpr uint16_t kFcsInit = 0xFFFF;
// FCS-16 over data plus its own two (complemented) bytes gives this value for a good frame.
constexpr uint16_t kFcsGood = 0xF0B8;

// Running FCS-16 (not complemented) of `length` bytes, continuing from `fcs`.
CORVANE_API uint16_t Fcs16(const uint8_t* data, size_t length, uint16_t fcs = kFcsInit);

// The complemented FCS-16 that is sent after the data.
inline uint16_t FrameCheck(const uint8_t* data, size_t length) {
  return static_cast<uint16_t>(~Fcs16(data, length));
}

// Largest frame that EncodeFrame produces for `length` data bytes.
constexpr size_t MaxFrameSize(size_t length) { return 1 + 2 * length + 4 + 1; }

// Writes [0x7E if leadingFlag] escaped(data) escaped(FCS low, high) 0x7E into `out`, which must
// hold MaxFrameSize(length) bytes. Returns the number of bytes written.
CORVANE_API size_t EncodeFrame(const uint8_t* data, size_t length, bool leadingFlag, uint8_t* out);

// Result of unescaping one frame's contents (without its flags).
struct DecodeResult {
  size_t length = 0;      // bytes written to `out`, FCS bytes included
  bool good = false;      // FCS residue correct, no dangling escape, nothing dropped
  bool overflow = false;  // the frame did not fit in `capacity`
};

// Unescapes `length` bytes into `out` (at most `capacity` bytes) and checks the FCS residue.
CORVANE_API DecodeResult DecodeFrame(const uint8_t* data, size_t length, uint8_t* out,
                                     size_t capacity);

}  // namespace hdlc
