#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace phonesim {

// The boot loader's read-back of memory (14-byte headers):
//
//   0x08 read set-up   start address at 2..5, length in 512-byte sectors at 6..9 (little-endian);
//                      answered with 0x50
//   0x05 block read    byte count at 2..5; answered with that many raw bytes, unframed, taken
//                      from where the previous block ended
//
// The memory is a deterministic pattern of the address, so any range can be produced again for
// comparison. A block read before any set-up, or past the end of the set-up range, gets only
// what the range still holds (nothing before a set-up): the host sees a short block, as it would
// from a loader that stops sending.
class MemoryReader : public ChipModel {
 public:
  static constexpr uint8_t kReadSetup = 0x08;
  static constexpr uint8_t kBlockRead = 0x05;
  static constexpr size_t kHeaderLength = 14;
  static constexpr uint32_t kSectorBytes = 512;

  explicit MemoryReader(uint32_t seed = 1) : seed_(seed) {}

  // Byte `address` of a memory with this seed; every byte value occurs, 0x7E and 0x7D included.
  static uint8_t ByteAt(uint32_t seed, uint64_t address);
  static std::vector<uint8_t> Contents(uint32_t seed, uint64_t address, size_t length);

  bool Takes(uint8_t command) const override;
  size_t PayloadLength(const std::vector<uint8_t>&) const override { return 0; }
  Reply Answer(const Packet& request) override;
  const char* Channel() const override { return "memory"; }

  // The phone stops sending (without leaving the link) once this many bytes of block answers
  // have gone out in all.
  void StopAfter(uint64_t bytes) { stopAfter_ = bytes; }

  // Address and sectors of every set-up, and the byte count of every block read, in order.
  const std::vector<std::pair<uint32_t, uint32_t>>& Setups() const { return setups_; }
  const std::vector<uint32_t>& BlockRequests() const { return blocks_; }
  uint64_t BytesSent() const { return sent_; }

 private:
  Reply Setup(const Packet& request);
  Reply Block(const Packet& request);

  uint32_t seed_;
  bool ready_ = false;
  uint64_t next_ = 0;  // address of the next byte to hand out
  uint64_t end_ = 0;   // end of the set-up range
  uint64_t sent_ = 0;
  uint64_t stopAfter_ = std::numeric_limits<uint64_t>::max();
  std::vector<std::pair<uint32_t, uint32_t>> setups_;
  std::vector<uint32_t> blocks_;
};

}  // namespace phonesim
