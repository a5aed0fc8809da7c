#include "corvane/protocol/hdlc.h"

#include <array>
#include <bit>
#include <cstring>

namespace hdlc {
namespace {

// Slicing-by-16 tables: kTables[k][b] is the CRC of byte b followed by k zero bytes.
constexpr unsigned kSlice = 16;
using Tables = std::array<std::array<uint16_t, 256>, kSlice>;

constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t crc = static_cast<uint16_t>(b);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    t[0][b] = crc;
  }
  for (unsigned k = 1; k < kSlice; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const uint16_t prev = t[k - 1][b];
      t[k][b] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();

uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
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

// Only the first two bytes of each 16-byte slice meet the running value; the other fourteen
// look-ups do not wait for it, which keeps the dependency chain short.
uint16_t Fcs16(const uint8_t* data, size_t length, uint16_t fcs) {
  const auto& t = kTables;
  while (length >= kSlice) {
    const uint64_t a = LoadLe64(data);
    const uint64_t b = LoadLe64(data + 8);
    const uint16_t rest = static_cast<uint16_t>(
        t[13][(a >> 16) & 0xFF] ^ t[12][(a >> 24) & 0xFF] ^ t[11][(a >> 32) & 0xFF] ^
        t[10][(a >> 40) & 0xFF] ^ t[9][(a >> 48) & 0xFF] ^ t[8][a >> 56] ^ t[7][b & 0xFF] ^
        t[6][(b >> 8) & 0xFF] ^ t[5][(b >> 16) & 0xFF] ^ t[4][(b >> 24) & 0xFF] ^
        t[3][(b >> 32) & 0xFF] ^ t[2][(b >> 40) & 0xFF] ^ t[1][(b >> 48) & 0xFF] ^ t[0][b >> 56]);
    const uint64_t head = a ^ fcs;
    fcs = static_cast<uint16_t>(t[15][head & 0xFF] ^ t[14][(head >> 8) & 0xFF] ^ rest);
    data += kSlice;
    length -= kSlice;
  }
  while (length-- > 0) {
    fcs = static_cast<uint16_t>((fcs >> 8) ^ t[0][(fcs ^ *data++) & 0xFF]);
  }
  return fcs;
}

size_t EncodeFrame(const uint8_t* data, size_t length, bool leadingFlag, uint8_t* out) {
  uint8_t* const start = out;
  if (leadingFlag) *out++ = kFlag;
  size_t i = 0;
  while (i < length) {
    const size_t run = PlainRun(data + i, length - i);
    if (run > 0) {
      std::memcpy(out, data + i, run);
      out += run;
      i += run;
    }
    // Escape the whole run of bytes that need it before looking for plain bytes again.
    while (i < length && NeedsEscape(data[i])) {
      *out++ = kEscape;
      *out++ = static_cast<uint8_t>(data[i++] ^ kEscapeXor);
    }
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
