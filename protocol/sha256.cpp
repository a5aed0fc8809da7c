#include "corvane/protocol/sha256.h"

#include <algorithm>
#include <cstring>

#include "protocol/sha256_blocks.h"

namespace sha256 {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

void Hasher::Reset() {
  state_ = kInitial;
  held_ = 0;
  length_ = 0;
}

void Hasher::Compress(const uint8_t* block) {
  std::array<uint32_t, 64> w{};
  for (size_t i = 0; i < 16; ++i) w[i] = BigEndian32(block + 4 * i);
  for (size_t i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (size_t i = 0; i < 64; ++i) {
    const uint32_t t1 =
        h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::array<uint32_t, 8> add = {a, b, c, d, e, f, g, h};
  for (size_t i = 0; i < 8; ++i) state_[i] += add[i];
}

void Hasher::Update(const uint8_t* data, size_t length) {
  length_ += length;
  if (held_ > 0) {
    const size_t take = std::min(length, block_.size() - held_);
    std::memcpy(block_.data() + held_, data, take);
    held_ += take;
    data += take;
    length -= take;
    if (held_ < block_.size()) return;
    Compress(block_.data());
    held_ = 0;
  }
  const size_t whole = length / block_.size();
  if (whole > 0 && detail::CompressAccelerated(state_, data, whole, kRound.data())) {
    data += whole * block_.size();
    length -= whole * block_.size();
  }
  for (; length >= block_.size(); data += block_.size(), length -= block_.size()) Compress(data);
  if (length > 0) std::memcpy(block_.data(), data, length);
  held_ = length;
}

// The message, a 1 bit, zeros up to 56 bytes into a block, then its length in bits.
Digest Hasher::Finish() {
  const uint64_t bits = length_ * 8;
  static constexpr uint8_t kPad[64] = {0x80};
  const size_t pad = held_ < 56 ? 56 - held_ : 120 - held_;
  Update(kPad, pad);
  uint8_t tail[8];
  for (size_t i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(tail, sizeof tail);
  Digest digest{};
  for (size_t i = 0; i < 8; ++i) {
    for (size_t k = 0; k < 4; ++k) {
      digest[4 * i + k] = static_cast<uint8_t>(state_[i] >> (24 - 8 * k));
    }
  }
  Reset();
  return digest;
}

Digest Of(const uint8_t* data, size_t length) {
  Hasher hasher;
  hasher.Update(data, length);
  return hasher.Finish();
}

std::string Hex(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace sha256
