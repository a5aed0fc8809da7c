#include "flash/ap_factory_headers.h"

#include <cstdio>
#include <limits>

#include "corvane/platform/byte_order.h"

namespace ap_factory {
namespace {

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
constexpr size_t kEntrySize = 8;
constexpr size_t kRecordWordOffset = 4;  // the one word of a record that the download uses

uint32_t WordAt(std::span<const uint8_t> head, size_t offset) {
  return bytes::LoadLe32(head.data() + offset);
}

// The file holds `length` bytes from `offset`; written so that no sum can wrap.
bool InsideFile(uint64_t offset, uint64_t length, uint64_t fileSize) {
  return offset <= fileSize && length <= fileSize - offset;
}

}  // namespace

HeaderStatus ReadOmapHeader(std::span<const uint8_t> head, OmapHeader& out) {
  out = OmapHeader{};
  if (head.size() < 4 || WordAt(head, 0) != kOmapMagic) return HeaderStatus::kBadMagic;
  if (head.size() < kOmapTableOffset + kOmapEntries * kEntrySize) return HeaderStatus::kShortTable;
  if (head.size() < kOmapHeaderSize) return HeaderStatus::kShortRecords;
  bool ended = false;
  for (size_t i = 0; i < kOmapEntries; ++i) {
    OmapEntry& e = out.entries[i];
    e.endMarker = WordAt(head, kOmapTableOffset + i * kEntrySize);
    e.imageSectors = WordAt(head, kOmapTableOffset + i * kEntrySize + 4);
    e.areaSize = WordAt(head, kOmapRecordsOffset + i * kRecordSize + kRecordWordOffset);
    ended = ended || e.endMarker == kOmapEndMarker;
    if (!ended) ++out.count;
  }
  return HeaderStatus::kOk;
}

bool OmapAreasInBytes(const OmapHeader& header) {
  uint64_t sum = 0;  // 16 32-bit areas cannot wrap 64 bits
  for (size_t i = 0; i < header.count; ++i) sum += header.entries[i].areaSize;
  return sum > kOmapSectorLimit;
}

OmapPlan PlanOmapPartitions(const OmapHeader& header, uint64_t fileSize) {
  OmapPlan plan;
  plan.areasInBytes = OmapAreasInBytes(header);
  const uint64_t unit = plan.areasInBytes ? 1 : kSectorSize;
  uint64_t address = 0;
  uint64_t offset = kDataOffset;
  for (size_t i = 0; i < header.count; ++i) {
    const OmapEntry& e = header.entries[i];
    const uint64_t dataBytes = uint64_t{e.imageSectors} * kSectorSize;
    const uint64_t eraseBytes = e.areaSize * unit;
    // In byte mode the size field carries the sector count as it stands (the agent's rule).
    const uint64_t announced = plan.areasInBytes ? e.imageSectors : dataBytes;
    if (address > kMax32 || eraseBytes > kMax32 || announced > kMax32) {
      plan.status = PlanStatus::kTooLarge;
      plan.failedEntry = i;
      return plan;
    }
    if (!InsideFile(offset, dataBytes, fileSize)) {
      plan.status = PlanStatus::kPastEndOfFile;
      plan.failedEntry = i;
      return plan;
    }
    plan.partitions[plan.count++] = {i,
                                     e.imageSectors,
                                     static_cast<uint32_t>(address),
                                     static_cast<uint32_t>(eraseBytes),
                                     static_cast<uint32_t>(announced),
                                     dataBytes,
                                     offset};
    address += e.areaSize;
    offset += dataBytes;
  }
  return plan;
}

std::string OmapPartitionSizeText(uint32_t imageSectors) {
  const uint32_t bytes = imageSectors * kSectorSize;  // wraps past 4 GiB, as the agent's tools do
  char text[64];
  if (imageSectors > kOmapMegabyteSectors) {
    std::snprintf(text, sizeof text, "Partition size is %d MBytes",
                  static_cast<int>(bytes / 1048576));
  } else {
    std::snprintf(text, sizeof text, "Partition size is %d KBytes", static_cast<int>(bytes / 1024));
  }
  return text;
}

HeaderStatus ReadNvHeader(std::span<const uint8_t> head, NvHeader& out) {
  out = NvHeader{};
  if (head.size() < kNvMagic.size()) return HeaderStatus::kBadMagic;
  for (size_t i = 0; i < kNvMagic.size(); ++i) {
    if (head[i] != kNvMagic[i]) return HeaderStatus::kBadMagic;
  }
  if (head.size() < kNvTableOffset + kNvEntries * kEntrySize) return HeaderStatus::kShortTable;
  for (size_t i = 0; i < kNvEntries; ++i) {
    NvEntry& e = out.entries[i];
    e.firstWord = WordAt(head, kNvTableOffset + i * kEntrySize);
    e.sectors = WordAt(head, kNvTableOffset + i * kEntrySize + 4);
    e.present = e.sectors != kNvAbsent;
    if (e.present) ++out.presentCount;
  }
  if (head.size() < kNvHeaderSize) return HeaderStatus::kShortRecords;
  for (size_t i = 0; i < kNvEntries; ++i) {
    out.entries[i].advance = WordAt(head, kNvRecordsOffset + i * kRecordSize + kRecordWordOffset);
  }
  return HeaderStatus::kOk;
}

NvPlan PlanNvPartitions(const NvHeader& header, uint64_t fileSize) {
  NvPlan plan;
  uint32_t position = 0;  // a 32-bit field on the wire: it wraps as the loader's counter does
  uint64_t offset = kDataOffset;
  for (size_t i = 0; i < kNvEntries && header.entries[i].present; ++i) {
    const NvEntry& e = header.entries[i];
    const uint64_t sizeBytes = uint64_t{e.sectors} * kSectorSize;
    if (sizeBytes > kMax32) {
      plan.status = PlanStatus::kTooLarge;
      plan.failedEntry = i;
      return plan;
    }
    if (!InsideFile(offset, sizeBytes, fileSize)) {
      plan.status = PlanStatus::kPastEndOfFile;
      plan.failedEntry = i;
      return plan;
    }
    plan.partitions[plan.count++] = {i, static_cast<uint32_t>(sizeBytes), position, e.sectors / 4,
                                     offset};
    position += e.advance / 4;
    offset += sizeBytes;
  }
  return plan;
}

}  // namespace ap_factory
