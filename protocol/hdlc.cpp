#include "protocol/hdlc.h"

#include <array>
#include <cstring>

namespace hdlc {
namespace {

// Slicing-by-8 tables: kTables[k][b] is the CRC of byte b followed by k zero bytes.
using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t crc = static_cast<uint16_t>(b);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    t[0][b] = crc;
  }
  for (unsigned k = 1; k < 8; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const uint16_t prev = t[k - 1][b];
      t[k][b] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();

uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Nonzero when some byte of `word` equals `value` (exact: no false positives).
uint64_t HasByte(uint64_t word, uint8_t value) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  const uint64_t x = word ^ (0x0101010101010101ULL * value);
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

bool NeedsEscape(uint8_t b) { return b == kFlag || b == kEscape; }

uint8_t* PutEscaped(uint8_t b, uint8_t* out) {
  if (NeedsEscape(b)) {
    *out++ = kEscape;
    *out++ = static_cast<uint8_t>(b ^ kEscapeXor);
  } else {
    *out++ = b;
  }
  return out;
}

// Length of the leading run of bytes that need no escape.
size_t PlainRun(const uint8_t* data, size_t length) {
  size_t i = 0;
  while (i + 8 <= length) {
    const uint64_t w = LoadLe64(data + i);
    if (HasByte(w, kFlag) | HasByte(w, kEscape)) break;
    i += 8;
  }
  while (i < length && !NeedsEscape(data[i])) ++i;
  return i;
}

}  // namespace

uint16_t Fcs16(const uint8_t* data, size_t length, uint16_t fcs) {
  while (length >= 8) {
    const uint64_t x = LoadLe64(data) ^ fcs;
    fcs = static_cast<uint16_t>(
        kTables[7][x & 0xFF] ^ kTables[6][(x >> 8) & 0xFF] ^ kTables[5][(x >> 16) & 0xFF] ^
        kTables[4][(x >> 24) & 0xFF] ^ kTables[3][(x >> 32) & 0xFF] ^
        kTables[2][(x >> 40) & 0xFF] ^ kTables[1][(x >> 48) & 0xFF] ^ kTables[0][x >> 56]);
    data += 8;
    length -= 8;
  }
  while (length-- > 0) {
    fcs = static_cast<uint16_t>((fcs >> 8) ^ kTables[0][(fcs ^ *data++) & 0xFF]);
  }
  return fcs;
}

size_t EncodeFrame(const uint8_t* data, size_t length, bool leadingFlag, uint8_t* out) {
  uint8_t* const start = out;
  if (leadingFlag) *out++ = kFlag;
  size_t i = 0;
  while (i < length) {
    const size_t run = PlainRun(data + i, length - i);
    std::memcpy(out, data + i, run);
    out += run;
    i += run;
    if (i < length) out = PutEscaped(data[i++], out);
  }
  const uint16_t fcs = FrameCheck(data, length);
  out = PutEscaped(static_cast<uint8_t>(fcs & 0xFF), out);
  out = PutEscaped(static_cast<uint8_t>(fcs >> 8), out);
  *out++ = kFlag;
  return static_cast<size_t>(out - start);
}

DecodeResult DecodeFrame(const uint8_t* data, size_t length, uint8_t* out, size_t capacity) {
  DecodeResult r;
  bool dangling = false;
  for (size_t i = 0; i < length; ++i) {
    uint8_t b = data[i];
    if (b == kEscape) {
      if (i + 1 == length) {
        dangling = true;
        break;
      }
      b = static_cast<uint8_t>(data[++i] ^ kEscapeXor);
    }
    if (r.length == capacity) {
      r.overflow = true;
      break;
    }
    out[r.length++] = b;
  }
  r.good = !dangling && !r.overflow && r.length >= 2 && Fcs16(out, r.length) == kFcsGood;
  return r;
}

}  // namespace hdlc
