#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "sim/model_phone.h"
#include "sim/qualcomm_handset.h"

namespace phonesim {
class NvidiaLoader;
class PhoneControlModel;
}  // namespace phonesim

// Builders for the MDM download: the modem's MDM image (truthful by default, with knobs that make
// it lie) and a Qualcomm handset whose application processor is an NVIDIA boot loader.
namespace phonesim::builders {

// --- MDM image ----------------------------------------------------------------------------------
//
// Written from the format itself: a 104-byte header (table offset T, data offset D), a table of
// 16 entries at T (start block, size in blocks; 0xFFFFFFFF ends it), a name table at 0x64080
// (count at 12, 28-byte names from 16) and the partition data: partition 0 from D, every other
// partition from D + its start block × 135168. Bytes that no structure covers follow a seeded
// pattern of their offset, so every partition's data differs from every other.

struct MdmPartition {
  std::string name;
  uint32_t startBlock = 0;
  uint32_t blocks = 0;
};

class MdmImageBuilder {
 public:
  static constexpr uint32_t kBlockBytes = 135168;
  static constexpr uint64_t kNameTableOffset = 0x64080;
  static constexpr size_t kNameTableBytes = 464;
  static constexpr uint32_t kDefaultTableAt = 0x100;
  static constexpr uint32_t kDefaultDataAt = 0x64400;  // after the name table
  static constexpr uint64_t kWhole = std::numeric_limits<uint64_t>::max();

  // Up to 16 entries; the entry after the last one ends the table.
  MdmImageBuilder& Add(const MdmPartition& partition);
  MdmImageBuilder& TableAt(uint32_t offset);
  MdmImageBuilder& DataAt(uint32_t offset);
  MdmImageBuilder& Seed(uint32_t seed);
  // Lies: an end marker (0xFFFFFFFF) in entry `i`'s start field (added partitions from there on
  // are in the file but not in the table), a name count other than the number of partitions
  // (names take their whole 28 bytes when as long), a file that ends after `bytes` bytes.
  MdmImageBuilder& EndMarkerAt(size_t i);
  MdmImageBuilder& NameCount(int32_t count);
  MdmImageBuilder& CutAt(uint64_t bytes);

  uint64_t Size() const;
  std::vector<uint8_t> Build() const;
  bool WriteTo(const std::string& path) const;

  // Where partition i's data starts in the file, and the bytes there: its declared size, or
  // fewer when the file ends first (none when it ends before them).
  uint64_t DataOffset(size_t i) const;
  std::vector<uint8_t> Data(size_t i) const;
  const std::vector<MdmPartition>& Partitions() const { return partitions_; }

 private:
  uint64_t NaturalSize() const;
  std::vector<uint8_t> Header() const;
  std::vector<uint8_t> Table() const;
  std::vector<uint8_t> Names() const;

  std::vector<MdmPartition> partitions_;
  uint32_t tableAt_ = kDefaultTableAt;
  uint32_t dataAt_ = kDefaultDataAt;
  uint32_t seed_ = 1;
  size_t endMarkerAt_ = SIZE_MAX;
  int32_t nameCount_ = -1;  // -1: the number of partitions
  uint64_t cutAt_ = kWhole;
};

// --- a handset for the MDM download -------------------------------------------------------------

// Hands every request to a personality that it shares, so that one loader serves every
// appearance of a port and stays alive between them.
class SharedPersonality : public Personality {
 public:
  explicit SharedPersonality(std::shared_ptr<Personality> inner) : inner_(std::move(inner)) {}
  size_t PayloadLength(const std::vector<uint8_t>& header) const override {
    return inner_->PayloadLength(header);
  }
  size_t RawLength(const uint8_t* data, size_t available) const override {
    return inner_->RawLength(data, available);
  }
  Reply Answer(const Packet& request) override { return inner_->Answer(request); }
  Reply Refusal(const Packet& request) const override { return inner_->Refusal(request); }

 private:
  std::shared_ptr<Personality> inner_;
};

// A Qualcomm handset whose application-processor port is an NVIDIA boot loader together with
// the commands every loader shares (reset, final synchronisation 0x89). Read the loader and the
// commands' counts under handset->WithCurrentPersonality while the application processor is on
// its port, or after the handset is gone.
struct MdmPhone {
  std::shared_ptr<ModelPhone> ap;
  NvidiaLoader* nvidia = nullptr;
  PhoneControlModel* control = nullptr;
  std::unique_ptr<QualcommHandset> handset;
};

MdmPhone MakeMdmPhone(QualcommHandset::Options options = {});

}  // namespace phonesim::builders
