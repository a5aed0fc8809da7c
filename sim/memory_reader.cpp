#include "sim/memory_reader.h"

#include <algorithm>

#include "corvane/platform/byte_order.h"

namespace phonesim {

// Mixes the address so that neighbouring blocks and sectors never repeat each other.
uint8_t MemoryReader::ByteAt(uint32_t seed, uint64_t address) {
  uint64_t x = address * 0x9E3779B97F4A7C15ull + seed * 0xC2B2AE3D27D4EB4Full;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  return static_cast<uint8_t>(x >> 56);
}

std::vector<uint8_t> MemoryReader::Contents(uint32_t seed, uint64_t address, size_t length) {
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; ++i) out[i] = ByteAt(seed, address + i);
  return out;
}

bool MemoryReader::Takes(uint8_t command) const {
  return command == kReadSetup || command == kBlockRead;
}

Reply MemoryReader::Answer(const Packet& request) {
  if (request.body.size() != kHeaderLength) return Reply::Nak();
  return request.Command() == kReadSetup ? Setup(request) : Block(request);
}

Reply MemoryReader::Setup(const Packet& request) {
  const uint32_t address = bytes::LoadLe32(&request.body[2]);
  const uint32_t sectors = bytes::LoadLe32(&request.body[6]);
  setups_.emplace_back(address, sectors);
  ready_ = true;
  next_ = address;
  end_ = uint64_t{address} + uint64_t{sectors} * kSectorBytes;
  return Reply::Ack();
}

Reply MemoryReader::Block(const Packet& request) {
  const uint32_t asked = bytes::LoadLe32(&request.body[2]);
  blocks_.push_back(asked);
  if (!ready_) return Reply::Raw({});
  uint64_t length = std::min<uint64_t>(asked, end_ - next_);
  length = std::min(length, stopAfter_ - std::min(stopAfter_, sent_));
  std::vector<uint8_t> data = Contents(seed_, next_, static_cast<size_t>(length));
  next_ += length;
  sent_ += length;
  return Reply::Raw(std::move(data));
}

}  // namespace phonesim
