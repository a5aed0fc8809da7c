// Arbitrary bytes as the head of an NVIDIA factory file: the reader and the planner must
// neither read outside the input nor plan a partition that lies outside the file.

#include <algorithm>
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
  if (size < ap_factory::kNvHeaderSize + 8) return size;
  const uint8_t* tail = data + size - 8;
  return uint64_t{bytes::LoadLe32(tail)} << 32 | bytes::LoadLe32(tail + 4);
}

// Short inputs rarely make a whole header, so an input that starts with 'C' is a compact
// description instead: per entry its first word, size and advance value, then the file's
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
  std::vector<uint8_t> head(ap_factory::kNvHeaderSize, 0);
  std::copy(ap_factory::kNvMagic.begin(), ap_factory::kNvMagic.end(), head.begin());
  for (size_t i = 0; i < ap_factory::kNvEntries; ++i) {
    bytes::StoreLe32(&head[ap_factory::kNvTableOffset + 8 * i], in.Next());
    bytes::StoreLe32(&head[ap_factory::kNvTableOffset + 8 * i + 4], in.Next());
    bytes::StoreLe32(&head[ap_factory::kNvRecordsOffset + ap_factory::kRecordSize * i + 4],
                     in.Next());
  }
  fileSize = uint64_t{in.Next()} << 32 | in.Next();
  return head;
}

void CheckPlan(const ap_factory::NvHeader& header, const ap_factory::NvPlan& plan,
               uint64_t fileSize) {
  uint64_t offset = ap_factory::kDataOffset;
  uint32_t position = 0;
  for (size_t i = 0; i < plan.count; ++i) {
    const ap_factory::NvPartition& p = plan.partitions[i];
    const ap_factory::NvEntry& e = header.entries[i];
    Require(p.entry == i && e.present);
    Require(uint64_t{p.sizeBytes} == uint64_t{e.sectors} * ap_factory::kSectorSize);
    Require(p.quarterSectors == e.sectors / 4 && p.sectorPosition == position);
    Require(p.fileOffset == offset);
    Require(p.fileOffset <= fileSize && p.sizeBytes <= fileSize - p.fileOffset);
    offset += p.sizeBytes;
    position += e.advance / 4;
  }
  // A whole plan ends at the first absent entry or after the last one.
  if (plan.status == ap_factory::PlanStatus::kOk) {
    Require(plan.count == ap_factory::kNvEntries || !header.entries[plan.count].present);
  } else {
    Require(plan.failedEntry == plan.count && header.entries[plan.count].present);
  }
}

void CheckHead(const uint8_t* data, size_t size, uint64_t fileSize) {
  ap_factory::NvHeader header;
  const ap_factory::HeaderStatus status = ap_factory::ReadNvHeader({data, size}, header);
  int present = 0;
  for (const ap_factory::NvEntry& e : header.entries) present += e.present ? 1 : 0;
  Require(present == header.presentCount);
  if (status == ap_factory::HeaderStatus::kBadMagic) Require(present == 0);
  if (status != ap_factory::HeaderStatus::kOk) return;
  Require(size >= ap_factory::kNvHeaderSize);
  CheckPlan(header, ap_factory::PlanNvPartitions(header, fileSize), fileSize);
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
