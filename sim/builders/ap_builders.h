#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/model_phone.h"
#include "sim/phone.h"

// Builders of what the application processors' download steps read: image buffers, OMAP eMMC
// factory files and NVIDIA factory files, truthful by default and with knobs that make them lie
// (wrong magic, a header cut short, sizes past the end of the file). Partition contents follow
// a seeded pattern, so a file of any size is written in pieces and its expected bytes can be
// produced again for comparison.
namespace phonesim::builders {

// Byte `index` of the pattern with this seed; every byte value, flag and escape included, occurs.
uint8_t PatternByte(uint32_t seed, uint64_t index);
std::vector<uint8_t> Pattern(size_t length, uint32_t seed);

// An image buffer: a 32-bit little-endian length, then the bytes.
std::vector<uint8_t> ImageBuffer(const std::vector<uint8_t>& data);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

constexpr uint64_t kWhole = std::numeric_limits<uint64_t>::max();

// --- OMAP eMMC factory file ----------------------------------------------------------------
struct OmapFileEntry {
  uint32_t imageSectors = 0;
  uint32_t areaSize = 0;
  uint32_t seed = 1;
  uint32_t endMarker = 0;  // 0xFFFFFFFF ends the list at this entry
};

class OmapFactoryBuilder {
 public:
  static constexpr uint32_t kMagic = 0xAA55A5A5;

  // Entries past the added ones carry the end marker.
  OmapFactoryBuilder& Add(const OmapFileEntry& entry);
  OmapFactoryBuilder& Magic(uint32_t magic);
  // Ends the file after `bytes` bytes (a header cut short, images that run past the end).
  OmapFactoryBuilder& CutAt(uint64_t bytes);

  uint64_t Size() const;
  std::vector<uint8_t> Build() const;
  // Writes the file in pieces, so that large files never sit in memory whole.
  bool WriteTo(const std::string& path) const;
  // The image bytes of entry `i` as the file declares them.
  std::vector<uint8_t> Image(size_t i) const;

 private:
  std::vector<uint8_t> Header() const;
  uint64_t DataSize() const;

  std::vector<OmapFileEntry> entries_;
  uint32_t magic_ = kMagic;
  uint64_t cutAt_ = kWhole;
};

// --- NVIDIA factory file -------------------------------------------------------------------
struct NvFileEntry {
  uint32_t sectors = 0;  // 0xFFFFFFFF: no partition
  uint32_t advance = 0;
  uint32_t firstWord = 0;
  uint32_t seed = 1;
};

class NvidiaFactoryBuilder {
 public:
  static constexpr uint32_t kAbsent = 0xFFFFFFFF;

  // Entries past the added ones are absent.
  NvidiaFactoryBuilder& Add(const NvFileEntry& entry);
  NvidiaFactoryBuilder& Magic(std::array<uint8_t, 4> magic);
  NvidiaFactoryBuilder& CutAt(uint64_t bytes);

  uint64_t Size() const;
  std::vector<uint8_t> Build() const;
  bool WriteTo(const std::string& path) const;
  std::vector<uint8_t> Image(size_t i) const;

 private:
  std::vector<uint8_t> Header() const;
  uint64_t DataSize() const;

  std::vector<NvFileEntry> entries_;
  std::array<uint8_t, 4> magic_ = {0xA5, 0xA5, 0x44, 0xEC};
  uint64_t cutAt_ = kWhole;
};

// A simulated phone made of one chip model, and that chip (to be read under the phone's
// WithPersonality).
template <typename Chip>
struct ChipPhone {
  Chip* chip = nullptr;
  std::unique_ptr<Phone> phone;
};

template <typename Chip, typename... Args>
ChipPhone<Chip> MakeChipPhone(Args&&... args) {
  auto model = std::make_unique<ModelPhone>();
  ChipPhone<Chip> out;
  out.chip = &model->Add(std::make_unique<Chip>(std::forward<Args>(args)...));
  out.phone = std::make_unique<Phone>(std::move(model));
  return out;
}

}  // namespace phonesim::builders
