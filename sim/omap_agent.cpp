#include "sim/omap_agent.h"

#include "corvane/platform/byte_order.h"

namespace phonesim {
namespace {

constexpr uint64_t kSector = 512;

uint32_t Field(const std::vector<uint8_t>& body, size_t offset) {
  return bytes::LoadLe32(body.data() + offset);
}

}  // namespace

bool OmapAgent::Takes(uint8_t command) const {
  return command == kStart || command == kDataBlock || command == kErase || command == kAnnounce;
}

size_t OmapAgent::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.size() != kLongHeaderLength || header[0] != kDataBlock) return 0;
  return Field(header, 8);
}

Reply OmapAgent::Answer(const Packet& request) {
  if (request.Command() == kStart) {
    if (request.body.size() != kHeaderLength) return Refuse();
    ++starts_;
    return Reply::Ack();
  }
  if (starts_ == 0) return Refuse();
  switch (request.Command()) {
    case kErase:
      return Erase(request);
    case kAnnounce:
      return Announce(request);
    case kDataBlock:
      return Data(request);
    default:
      return Refuse();
  }
}

Reply OmapAgent::Refuse() {
  ++refused_;
  return Reply::Nak();
}

Reply OmapAgent::Erase(const Packet& request) {
  if (request.body.size() != kLongHeaderLength) return Refuse();
  const EraseRequest e{Field(request.body, 4), Field(request.body, 8)};
  if (!emmc_.Erase(e.start, e.length)) return Refuse();
  erases_.push_back(e);
  return Reply::Ack();
}

Reply OmapAgent::Announce(const Packet& request) {
  if (request.body.size() != kHeaderLength) return Refuse();
  Partition p;
  p.id = request.body[1];
  p.address = Field(request.body, 2);
  p.size = Field(request.body, 6);
  if (p.address + Allowance(p) > emmc_.Capacity()) {
    open_ = false;
    return Refuse();
  }
  partitions_.push_back(std::move(p));
  open_ = true;
  return Reply::Ack();
}

// The last block of a partition is padded to whole sectors, so the agent takes up to the
// announced size rounded up to a sector.
uint64_t OmapAgent::Allowance(const Partition& p) const {
  const uint64_t announced = uint64_t{p.size} * sizeUnit_;
  return (announced + kSector - 1) / kSector * kSector;
}

Reply OmapAgent::Data(const Packet& request) {
  if (request.body.size() != kLongHeaderLength || !open_) return Refuse();
  Partition& p = partitions_.back();
  const uint32_t length = Field(request.body, 8);
  if (request.body[1] != p.id || request.payload.size() != length ||
      p.received + length > Allowance(p)) {
    return Refuse();
  }
  if (!emmc_.Write(uint64_t{p.address} + p.received, request.payload.data(), length)) {
    return Refuse();
  }
  if (keepData_) p.data.insert(p.data.end(), request.payload.begin(), request.payload.end());
  p.received += length;
  return Reply::Ack();
}

}  // namespace phonesim
