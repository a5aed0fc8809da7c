#include "sim/nvidia_loader.h"

#include <algorithm>

#include "corvane/platform/byte_order.h"

namespace phonesim {
namespace {

constexpr uint32_t kSector = 512;

uint32_t Field(const std::vector<uint8_t>& body, size_t offset) {
  return bytes::LoadLe32(body.data() + offset);
}

}  // namespace

bool NvidiaLoader::Takes(uint8_t command) const {
  return command == kBctSetup || command == kBctDownload || command == kImageBlock ||
         command == kImageStart || command == kPartitionStart || command == kPartitionBlock;
}

size_t NvidiaLoader::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.size() != kHeaderLength) return 0;
  switch (header[0]) {
    case kBctDownload:
    case kImageBlock:
      return Field(header, 6);
    case kPartitionBlock:
      return kStagingBlock;
    default:
      return 0;
  }
}

Reply NvidiaLoader::Answer(const Packet& request) {
  if (request.body.size() != kHeaderLength) return Refuse();
  switch (request.Command()) {
    case kBctSetup:
      return BctSetup(request);
    case kBctDownload:
      return BctDownload(request);
    case kImageStart:
      return ImageStart(request);
    case kImageBlock:
      return ImageBlock(request);
    case kPartitionStart:
      return PartitionStart(request);
    case kPartitionBlock:
      return PartitionBlock(request);
    default:
      return Refuse();
  }
}

void NvidiaLoader::SetFlashRate(uint64_t bytesPerSecond) {
  rate_ = bytesPerSecond;
  for (auto& [id, image] : images_) image.store.SetRate(rate_);
  for (Partition& p : files_) p.store.SetRate(rate_);
}

Reply NvidiaLoader::Refuse() {
  ++refused_;
  return Reply::Nak();
}

Reply NvidiaLoader::BctSetup(const Packet& request) {
  bctSetUp_ = true;
  bctSelector_ = request.body[1];
  return Reply::Ack();
}

Reply NvidiaLoader::BctDownload(const Packet& request) {
  const uint32_t length = Field(request.body, 6);
  if (!bctSetUp_ || request.body[1] != bctSelector_ || length > kMaxBct ||
      request.payload.size() != length) {
    return Refuse();
  }
  bctParameter_ = Field(request.body, 2);
  bct_ = request.payload;
  return Reply::Ack();
}

Reply NvidiaLoader::ImageStart(const Packet& request) {
  const uint8_t id = request.body[1];
  images_.erase(id);
  Partition& image = images_.emplace(id, Partition(Field(request.body, 2))).first->second;
  image.store.SetRate(rate_);
  open_ = Open::kImage;
  openImage_ = id;
  return Reply::Ack();
}

Reply NvidiaLoader::ImageBlock(const Packet& request) {
  const uint32_t length = Field(request.body, 6);
  if (open_ != Open::kImage || request.body[1] != openImage_ || request.payload.size() != length) {
    return Refuse();
  }
  return Take(images_.at(openImage_), request.payload.data(), length) ? Reply::Ack() : Refuse();
}

// The three fields describe one size: bytes, and sectors / 4.
Reply NvidiaLoader::PartitionStart(const Packet& request) {
  const uint32_t bytes = Field(request.body, 2);
  if (bytes % kSector != 0 || Field(request.body, 10) != bytes / kSector / 4) {
    open_ = Open::kNothing;
    return Refuse();
  }
  Partition p(bytes);
  p.sectorPosition = Field(request.body, 6);
  p.quarterSectors = Field(request.body, 10);
  p.store.SetRate(rate_);
  files_.push_back(std::move(p));
  open_ = Open::kFilePartition;
  return Reply::Ack();
}

Reply NvidiaLoader::PartitionBlock(const Packet& request) {
  const uint32_t chunk = Field(request.body, 2);
  if (open_ != Open::kFilePartition || chunk == 0 || chunk > kStagingBlock ||
      request.payload.size() != kStagingBlock) {
    return Refuse();
  }
  Partition& p = files_.back();
  if (!Take(p, request.payload.data(), chunk)) return Refuse();
  const auto tail = request.payload.begin() + chunk;
  if (!std::all_of(tail, request.payload.end(), [](uint8_t b) { return b == 0xFF; })) {
    ++p.staleTails;
  }
  return Reply::Ack();
}

bool NvidiaLoader::Take(Partition& p, const uint8_t* data, uint32_t length) {
  if (p.received + length > p.length) return false;
  if (!p.store.Write(p.received, data, length)) return false;
  p.received += length;
  ++p.blocks;
  return true;
}

}  // namespace phonesim
