// Arbitrary bytes as the head of an OMAP eMMC factory file: the reader and the planner must
// neither read outside the input nor plan a partition that lies outside the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "flash/ap_factory_headers.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The file's length: the input's own, or, when the input is longer than a header, a length
// taken from its last bytes, so that plans for files of many gigabytes are reached too.
uint64_t FileSize(const uint8_t* data, size_t size) {
  if (size < ap_factory::kOmapHeaderSize + 8) return size;
  const uint8_t* tail = data + size - 8;
  return uint64_t{bytes::LoadLe32(tail)} << 32 | bytes::LoadLe32(tail + 4);
}

// Short inputs rarely make a whole header, so an input that starts with 'C' is a compact
// description instead: per entry its end marker, image size and area size, then the file's
// length, as little-endian words; the header is built from them (words past the input are 0).
struct Words {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint32_t Next() {
    uint8_t word[4] = {};
    for (uint8_t& b : word) b = at < size ? data[at++] : 0;
    return bytes::LoadLe32(word);
  }
};

std::vector<uint8_t> CompactHeader(Words& in, uint64_t& fileSize) {
  std::vector<uint8_t> head(ap_factory::kOmapHeaderSize, 0);
  bytes::StoreLe32(head.data(), ap_factory::kOmapMagic);
  for (size_t i = 0; i < ap_factory::kOmapEntries; ++i) {
    bytes::StoreLe32(&head[ap_factory::kOmapTableOffset + 8 * i], in.Next());
    bytes::StoreLe32(&head[ap_factory::kOmapTableOffset + 8 * i + 4], in.Next());
    bytes::StoreLe32(&head[ap_factory::kOmapRecordsOffset + ap_factory::kRecordSize * i + 4],
                     in.Next());
  }
  fileSize = uint64_t{in.Next()} << 32 | in.Next();
  return head;
}

void CheckPlan(const ap_factory::OmapHeader& header, const ap_factory::OmapPlan& plan,
               uint64_t fileSize) {
  Require(plan.count <= header.count);
  Require(plan.status != ap_factory::PlanStatus::kOk || plan.count == header.count);
  Require(plan.status == ap_factory::PlanStatus::kOk || plan.failedEntry == plan.count);
  uint64_t offset = ap_factory::kDataOffset;
  for (size_t i = 0; i < plan.count; ++i) {
    const ap_factory::OmapPartition& p = plan.partitions[i];
    Require(p.entry == i && p.imageSectors == header.entries[i].imageSectors);
    Require(p.dataBytes == uint64_t{p.imageSectors} * ap_factory::kSectorSize);
    Require(p.fileOffset == offset);
    Require(p.fileOffset <= fileSize && p.dataBytes <= fileSize - p.fileOffset);
    offset += p.dataBytes;
    (void)ap_factory::OmapPartitionSizeText(p.imageSectors);
  }
}

void CheckHead(const uint8_t* data, size_t size, uint64_t fileSize) {
  ap_factory::OmapHeader header;
  const ap_factory::HeaderStatus status = ap_factory::ReadOmapHeader({data, size}, header);
  if (status != ap_factory::HeaderStatus::kOk) {
    Require(header.count == 0);
    return;
  }
  Require(size >= ap_factory::kOmapHeaderSize && header.count <= ap_factory::kOmapEntries);
  CheckPlan(header, ap_factory::PlanOmapPartitions(header, fileSize), fileSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == 'C') {
    Words in{data + 1, size - 1};
    uint64_t fileSize = 0;
    const std::vector<uint8_t> head = CompactHeader(in, fileSize);
    CheckHead(head.data(), head.size(), fileSize);
  } else {
    CheckHead(data, size, FileSize(data, size));
  }
  return 0;
}
