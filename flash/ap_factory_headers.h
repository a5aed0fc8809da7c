#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "corvane/platform/export.h"

// The header tables of the application processors' factory files, read without any I/O so that
// the download steps, the tests and the fuzzers share one bounds-checked reader.
//
// Both files start with a magic value, a table of partition entries and one 512-byte record per
// entry; the partition data start at 1 MiB, back to back in entry order. The readers take the
// bytes of the header that could be read (possibly fewer than a whole header) and report how far
// they got. The planners turn a header into the list of partitions to send and refuse a table that
// points outside the file or needs more than the 32 bits its wire fields carry.
namespace ap_factory {

constexpr uint32_t kSectorSize = 512;
constexpr size_t kRecordSize = 512;
constexpr uint64_t kDataOffset = 1u << 20;  // where the partition data of both files start

enum class HeaderStatus {
  kOk,
  kBadMagic,      // fewer than 4 bytes, or not the family's magic
  kShortTable,    // the entry table is cut short
  kShortRecords,  // the entry table is whole, the records are cut short
};

enum class PlanStatus {
  kOk,
  kPastEndOfFile,  // a partition's data run past the end of the file
  kTooLarge,       // a size or address does not fit the 32-bit field that carries it
};

// --- OMAP eMMC factory file ----------------------------------------------------------------
//  0      magic word 0xAA55A5A5 (bytes A5 A5 55 AA)
//  4      16 entries of 8 bytes: end marker (0xFFFFFFFF ends the list), image size in sectors
//  512    16 records of 512 bytes: the word at 4 is the area size
//  1 MiB  the images, image size x 512 bytes each
constexpr uint32_t kOmapMagic = 0xAA55A5A5;
constexpr size_t kOmapEntries = 16;
constexpr uint32_t kOmapEndMarker = 0xFFFFFFFF;
constexpr size_t kOmapTableOffset = 4;
constexpr size_t kOmapRecordsOffset = 512;
constexpr size_t kOmapHeaderSize = kOmapRecordsOffset + kOmapEntries * kRecordSize;  // 8704
// Area sizes that add up to more than this are bytes; up to it, sectors.
constexpr uint64_t kOmapSectorLimit = 3825764;
// Images of more sectors than this are shown in megabytes.
constexpr uint32_t kOmapMegabyteSectors = 3000000;

struct OmapEntry {
  uint32_t endMarker = 0;
  uint32_t imageSectors = 0;
  uint32_t areaSize = 0;
};

struct OmapHeader {
  std::array<OmapEntry, kOmapEntries> entries{};
  size_t count = 0;  // entries before the first end marker
};

// One partition as the download agent is told about it.
struct OmapPartition {
  size_t entry = 0;
  uint32_t imageSectors = 0;
  uint32_t address = 0;        // where it goes (the unit of the area sizes)
  uint32_t eraseBytes = 0;     // area size in bytes
  uint32_t announcedSize = 0;  // 0x06 size field: image size in the unit of the areas' rule
  uint64_t dataBytes = 0;      // image size x 512: what is read and sent
  uint64_t fileOffset = 0;
};

struct OmapPlan {
  PlanStatus status = PlanStatus::kOk;
  size_t failedEntry = 0;  // the entry the status is about
  bool areasInBytes = false;
  std::array<OmapPartition, kOmapEntries> partitions{};
  size_t count = 0;
};

CORVANE_API HeaderStatus ReadOmapHeader(std::span<const uint8_t> head, OmapHeader& out);
// The unit rule: true when the area sizes before the end marker add up to more than the limit.
CORVANE_API bool OmapAreasInBytes(const OmapHeader& header);
CORVANE_API OmapPlan PlanOmapPartitions(const OmapHeader& header, uint64_t fileSize);
// "Partition size is %d MBytes" / "... KBytes", computed in 32 bits as the agent's tools do.
CORVANE_API std::string OmapPartitionSizeText(uint32_t imageSectors);

// --- NVIDIA factory file -------------------------------------------------------------------
//  0      magic bytes A5 A5 44 EC
//  4      32 entries of 8 bytes: first word, size in sectors (0xFFFFFFFF = no partition)
//  512    32 records of 512 bytes: the word at 4 is the advance value
//  1 MiB  the partitions, size x 512 bytes each
constexpr std::array<uint8_t, 4> kNvMagic = {0xA5, 0xA5, 0x44, 0xEC};
constexpr size_t kNvEntries = 32;
constexpr uint32_t kNvAbsent = 0xFFFFFFFF;
constexpr size_t kNvTableOffset = 4;
constexpr size_t kNvRecordsOffset = 512;
constexpr size_t kNvHeaderSize = kNvRecordsOffset + kNvEntries * kRecordSize;  // 16896

struct NvEntry {
  uint32_t firstWord = 0;
  uint32_t sectors = 0;
  uint32_t advance = 0;
  bool present = false;
};

struct NvHeader {
  std::array<NvEntry, kNvEntries> entries{};
  int presentCount = 0;  // over the whole table, gaps included
};

// One partition as the boot loader's 0x8A header announces it.
struct NvPartition {
  size_t entry = 0;
  uint32_t sizeBytes = 0;       // sectors x 512
  uint32_t sectorPosition = 0;  // running sum of the earlier advance values / 4
  uint32_t quarterSectors = 0;  // sectors / 4
  uint64_t fileOffset = 0;
};

struct NvPlan {
  PlanStatus status = PlanStatus::kOk;
  size_t failedEntry = 0;
  std::array<NvPartition, kNvEntries> partitions{};
  size_t count = 0;  // the entries before the first absent one
};

// With kShortRecords the entries and the count are valid, the advance values are 0.
CORVANE_API HeaderStatus ReadNvHeader(std::span<const uint8_t> head, NvHeader& out);
CORVANE_API NvPlan PlanNvPartitions(const NvHeader& header, uint64_t fileSize);

}  // namespace ap_factory
