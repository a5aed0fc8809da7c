#include "sim/builders/sample_firmware.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "corvane/platform/path.h"

namespace phonesim::builders {
namespace {

constexpr uint32_t kMiB = 1u << 20;
// Above 3825764 the device's partition sizes count bytes, not sectors: sizes stay readable.
constexpr const char* kTotalSize = "0x3A6065";
constexpr uint32_t kUserDataBytes = 8 * kMiB;

std::string Join(const std::string& directory, const std::string& file) {
  return platform::Utf8Of(platform::PathOf(directory) / platform::PathOf(file));
}

void Require(bool written, const std::string& path) {
  if (!written) throw std::runtime_error("cannot write " + path);
}

// A partition image of any size, written in pieces of the seeded pattern.
void WritePatternFile(const std::string& path, uint64_t bytes, uint32_t seed) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Require(f != nullptr, path);
  std::vector<uint8_t> piece(size_t{256} * 1024);
  bool ok = true;
  for (uint64_t at = 0; at < bytes && ok; at += piece.size()) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), bytes - at));
    for (size_t i = 0; i < n; ++i) piece[i] = PatternByte(seed, at + i);
    ok = std::fwrite(piece.data(), 1, n, f) == n;
  }
  Require(std::fclose(f) == 0 && ok, path);
}

uint32_t RoundUpToMiB(uint64_t bytes) {
  return static_cast<uint32_t>((bytes + kMiB - 1) / kMiB * kMiB);
}

// Room to spare: a partition a quarter larger than its image, in whole MiB.
uint32_t PartitionFor(uint64_t fileBytes) { return RoundUpToMiB(fileBytes + fileBytes / 4 + 1); }

IfxImageParts ModemParts(const SampleModemImage& m) {
  IfxImageParts parts;
  parts.code = builders::Pattern(m.codeBytes, m.seed);
  parts.security = SecurityBlock(m.flashAddress, m.seed);
  return parts;
}

}  // namespace

SampleFirmware SampleFirmware::Write(const std::string& directory,
                                     const SampleFirmwareOptions& options) {
  SampleFirmware set;
  set.directory_ = directory;
  const struct {
    const char* name;
    const char* file;
    uint64_t bytes;
  } images[] = {{"boot", "boot.img", options.bootBytes},
                {"recovery", "recovery.img", options.recoveryBytes},
                {"system", "system.img", options.systemBytes}};
  uint32_t start = 0;
  uint32_t seed = 11;
  for (const auto& image : images) {
    const uint32_t size = PartitionFor(image.bytes);
    set.partitions_.push_back({image.name, image.file, image.bytes, start, size, seed++});
    start += size;
  }
  set.partitions_.push_back({"userdata", "", 0, start, kUserDataBytes, 0});

  const size_t code = options.modemCodeBytes;
  const struct {
    const char* file;
    size_t bytes;
  } modem[] = {{"TQ4410_psi.fls", code / 16 + 100},
               {"TQ4410_slb.fls", code / 8 + 200},
               {"V618_code.fls", code},
               {"TQ4410_AENEAS.fls", code / 4 + 300}};
  uint32_t address = 0;
  uint8_t modemSeed = 1;
  for (const auto& m : modem) {
    set.modem_.push_back({m.file, address, m.bytes, modemSeed++});
    address += RoundUpToMiB(m.bytes);
  }

  const std::string config = set.PathOf("partition.cfg");
  const std::string text = set.ConfigText();
  Require(WriteFile(config, Bytes(text.begin(), text.end())), config);
  for (const SamplePartition& p : set.partitions_) {
    if (!p.file.empty()) WritePatternFile(set.PathOf(p.file), p.fileBytes, p.seed);
  }
  for (const SampleModemImage& m : set.modem_) {
    // A modem image file is the element area: the image buffer without its length word.
    const IfxImage image = BuildIfxImage(ModemParts(m));
    const std::string path = set.PathOf(m.file);
    Require(WriteFile(path, Bytes(image.buffer.begin() + 4, image.buffer.end())), path);
  }
  return set;
}

std::string SampleFirmware::PathOf(const std::string& file) const { return Join(directory_, file); }

std::vector<std::string> SampleFirmware::Files() const {
  std::vector<std::string> out{PathOf("partition.cfg")};
  for (const SamplePartition& p : partitions_) {
    if (!p.file.empty()) out.push_back(PathOf(p.file));
  }
  for (const SampleModemImage& m : modem_) out.push_back(PathOf(m.file));
  return out;
}

std::string SampleFirmware::ConfigText() const {
  std::string text = std::string("[device]\nTotal_size = ") + kTotalSize + "\n";
  for (const SamplePartition& p : partitions_) {
    char size[16];
    std::snprintf(size, sizeof size, "0x%X", p.size);
    text += "[partition]\nname=" + p.name + "\nsize=" + size + "\n";
    if (!p.file.empty()) text += "filename=" + p.file + "\n";
  }
  // The parser leaves the token that reaches the end of the text unapplied: close with a section.
  return text + "[end]\n";
}

Bytes SampleFirmware::ModemCode(size_t i) const {
  const SampleModemImage& m = modem_.at(i);
  return builders::Pattern(m.codeBytes, m.seed);
}

uint64_t SampleFirmware::TotalBytes() const {
  uint64_t total = 0;
  std::error_code ec;
  for (const std::string& path : Files())
    total += std::filesystem::file_size(platform::PathOf(path), ec);
  return total;
}

FactorySample FactorySample::Write(const std::string& directory,
                                   const FactorySampleOptions& options) {
  FactorySample set;
  set.cpPath_ = Join(directory, "TQ4410_factory.fls");
  set.apPath_ = Join(directory, "TQ4410_emmc.bin");
  const size_t code = options.modemCodeBytes;
  // Names that the modem's writing rules know, each at an address of its own.
  const struct {
    const char* name;
    size_t bytes;
    uint32_t address;
  } parts[] = {{"psi_area", code / 8 + 10, 0x000000},
               {"slb_loader", code / 4 + 20, 0x100000},
               {"V618_main_code", code, 0x200000},
               {"AENEAS_fs", code / 2 + 30, 0x200000 + RoundUpToMiB(code)}};
  uint32_t id = 1;
  for (const auto& p : parts) {
    set.components_.push_back(
        IfxComponent{p.name, id, builders::Pattern(p.bytes, static_cast<uint8_t>(id * 17)),
                     p.address, true, true});
    ++id;
  }
  IfxFactoryParts factory;
  factory.components = set.components_;
  Require(WriteFile(set.cpPath_, BuildIfxFactory(factory)), set.cpPath_);

  uint32_t seed = 21;
  for (uint32_t sectors : options.partitionSectors) {
    // Areas twice the image, counted in sectors (the table stays below the byte-size limit).
    set.emmc_.Add({.imageSectors = sectors, .areaSize = 2 * sectors + 8, .seed = seed++});
  }
  set.emmcImages_ = options.partitionSectors.size();
  Require(set.emmc_.WriteTo(set.apPath_), set.apPath_);
  return set;
}

uint64_t FactorySample::TotalBytes() const {
  std::error_code ec;
  return std::filesystem::file_size(platform::PathOf(cpPath_), ec) +
         std::filesystem::file_size(platform::PathOf(apPath_), ec);
}

MdmSample MdmSample::Write(const std::string& directory) {
  MdmSample set;
  set.apPath_ = Join(directory, "TQ4410_ap.img");
  set.ap_.Add({.sectors = 4100, .advance = 8192, .firstWord = 0xAB, .seed = 31})
      .Add({.sectors = 8, .advance = 18, .seed = 32})
      .Add({.sectors = 3, .seed = 33});
  set.present_ = {0, 1, 2};
  Require(set.ap_.WriteTo(set.apPath_), set.apPath_);
  return set;
}

uint64_t MdmSample::TotalBytes() const {
  std::error_code ec;
  return std::filesystem::file_size(platform::PathOf(apPath_), ec);
}

}  // namespace phonesim::builders
