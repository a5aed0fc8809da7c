#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/protocol/step_digest.h"

// The modem's MDM image: a header, a partition table counted in NAND blocks, a table of partition
// names and the data of each partition. The reader is a pure function over a source of bytes, so
// that the file manager, the tests and the fuzzer drive the same code.
//
// File layout (32-bit little-endian integers):
//   0          offset T of the partition table; 4: offset D of the partition data; 104 bytes
//   T          16 entries of 16 bytes: start block at 0, size in blocks at 8
//   0x64080    464 bytes: name count at 12, then up to 16 names of 28 bytes
//   D + ...    partition data: slot 0 from D, every other slot from D + its byte address
namespace mdm {

constexpr uint32_t kPageBytes = 2112;  // 2048 data bytes and 64 spare bytes
constexpr uint32_t kPageDataBytes = 2048;
constexpr uint32_t kBlockBytes = 64 * kPageBytes;  // 135168
constexpr size_t kHeaderBytes = 104;
constexpr size_t kTableEntries = 16;
constexpr size_t kEntryBytes = 16;
constexpr size_t kTableBytes = kTableEntries * kEntryBytes;
constexpr uint64_t kNameTableOffset = 0x64080;
constexpr size_t kNameTableBytes = 464;
constexpr size_t kNameCountAt = 12;
constexpr size_t kNamesAt = 16;
constexpr size_t kNameBytes = 28;
constexpr size_t kMaxNames = 16;
constexpr size_t kSlots = kTableEntries + 1;
constexpr uint32_t kEndOfTable = 0xFFFFFFFF;
// The end of the last partition's erase range: the slot after the last entry gets it.
constexpr uint32_t kNandEnd = 1024 * kBlockBytes;  // 0x8400000

struct Slot {
  uint32_t address = 0;       // byte address in NAND
  uint32_t size = 0;          // bytes to write from `data`
  std::vector<uint8_t> data;  // the file's raw bytes; never shorter than `size`
};

// What a read leaves for the NAND programming.
struct PartitionSet {
  std::array<Slot, kSlots> slots;
  std::array<std::string, kMaxNames> names;
  int32_t declaredNames = 0;  // the count as the file has it
  size_t nameCount = 0;       // names held: the declared count, within 0..16

  // Releases every buffer and zeroes every address and size.
  void Release();
  // Bytes held in data buffers.
  uint64_t HeldBytes() const;
};

// Random access to the bytes of an image.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Fills `out` from `offset`; the reader only asks for ranges inside Size(). False when the
  // bytes could not be read.
  virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

 private:
  std::span<const uint8_t> bytes_;
};

// A file read piece by piece, never whole: only the partitions' bytes are held.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  bool IsOpen() const { return open_; }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

  // From here on what is read goes into the SHA-256 of the step that `step` reports, handed
  // over when the source goes. The reader skips the padding between the header, the tables and
  // the partitions; the source reads those bytes on its way instead of seeking past them, once
  // and in order, so that an image read up to its end is covered whole. A source that is not
  // open takes no digest.
  void DigestFor(Reporter& step);

 private:
  bool ReadRaw(uint64_t offset, std::span<uint8_t> out);
  // Feeds the digest from what it covers up to `offset`.
  void ReadThrough(uint64_t offset);

  std::ifstream file_;
  uint64_t size_ = 0;
  bool open_ = false;
  std::optional<sha256::StepDigest> digest_;
  bool throughFailed_ = false;  // a skipped stretch could not be read: the digest ends there
};

enum class ReadStatus {
  kOk,
  kShortHeader,  // fewer than 104 bytes
  kTooFar,       // a partition's byte address or size does not fit in 32 bits (entry in `at`)
  kNoData,       // a partition of the table has not one whole page in the file (entry in `at`)
  kEmpty,        // the table holds no partition with data: nothing to write
  kUnreadable,   // the source failed to deliver bytes it holds
  kNoMemory,     // a partition's buffer could not be allocated
};

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  size_t at = 0;
};

// Replaces `set` with the image in `source`. Whatever the image claims, nothing is read outside
// the source: a table or name table beyond its end reads as 0xFF, and partition data is cut at
// its end (to whole pages). An image without a partition to write, or with a partition of which
// the file holds no whole page, is refused. On any failure `set` holds no buffers.
ReadResult ReadImage(ByteSource& source, PartitionSet& set);

}  // namespace mdm
