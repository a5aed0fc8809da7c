#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "corvane/platform/export.h"

// SHA-256 (FIPS 180-4), fed block by block as a run reads a file, so that what was written can be
// compared with a published checksum without a second read. Pure: the digest depends on the
// bytes given and nothing else. The library takes no cryptographic library for it: it builds
// with the standard library alone on every system it targets.
namespace sha256 {

using Digest = std::array<uint8_t, 32>;

class CORVANE_API Hasher {
 public:
  Hasher() { Reset(); }

  void Update(const uint8_t* data, size_t length);
  // The digest of everything given since the start; the hasher then starts again.
  Digest Finish();
  // The bytes given since the start.
  uint64_t Length() const { return length_; }

 private:
  void Reset();
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_{};
  std::array<uint8_t, 64> block_{};
  size_t held_ = 0;  // bytes of block_ waiting for the rest of their block
  uint64_t length_ = 0;
};

CORVANE_API Digest Of(const uint8_t* data, size_t length);
// Lower-case hexadecimal, as checksum files print it.
CORVANE_API std::string Hex(const Digest& digest);

}  // namespace sha256
