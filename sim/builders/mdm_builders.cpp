#include "sim/builders/mdm_builders.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "corvane/platform/byte_order.h"
#include "sim/builders/ap_builders.h"
#include "sim/nvidia_loader.h"
#include "sim/phone_control_model.h"

namespace phonesim::builders {
namespace {

constexpr size_t kHeaderBytes = 104;
constexpr size_t kEntries = 16;
constexpr size_t kEntryBytes = 16;
constexpr size_t kNameCountAt = 12;
constexpr size_t kNamesAt = 16;
constexpr size_t kNameBytes = 28;
constexpr uint32_t kEnd = 0xFFFFFFFF;

// Copies `bytes` into `file` at `offset`, as far as the file reaches.
void Place(std::vector<uint8_t>& file, uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (offset >= file.size()) return;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes.size(), file.size() - offset));
  std::copy_n(bytes.begin(), n, file.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

MdmImageBuilder& MdmImageBuilder::Add(const MdmPartition& partition) {
  if (partitions_.size() < kEntries) partitions_.push_back(partition);
  return *this;
}

MdmImageBuilder& MdmImageBuilder::TableAt(uint32_t offset) {
  tableAt_ = offset;
  return *this;
}

MdmImageBuilder& MdmImageBuilder::DataAt(uint32_t offset) {
  dataAt_ = offset;
  return *this;
}

MdmImageBuilder& MdmImageBuilder::Seed(uint32_t seed) {
  seed_ = seed;
  return *this;
}

MdmImageBuilder& MdmImageBuilder::EndMarkerAt(size_t i) {
  endMarkerAt_ = i;
  return *this;
}

MdmImageBuilder& MdmImageBuilder::NameCount(int32_t count) {
  nameCount_ = count;
  return *this;
}

MdmImageBuilder& MdmImageBuilder::CutAt(uint64_t bytes) {
  cutAt_ = bytes;
  return *this;
}

uint64_t MdmImageBuilder::DataOffset(size_t i) const {
  return dataAt_ + (i == 0 ? 0 : uint64_t{partitions_.at(i).startBlock} * kBlockBytes);
}

uint64_t MdmImageBuilder::NaturalSize() const {
  uint64_t end = std::max<uint64_t>(kNameTableOffset + kNameTableBytes, tableAt_ + 256);
  for (size_t i = 0; i < partitions_.size(); ++i) {
    end = std::max(end, DataOffset(i) + uint64_t{partitions_[i].blocks} * kBlockBytes);
  }
  return end;
}

uint64_t MdmImageBuilder::Size() const { return std::min(NaturalSize(), cutAt_); }

std::vector<uint8_t> MdmImageBuilder::Header() const {
  std::vector<uint8_t> header(kHeaderBytes, 0);
  bytes::StoreLe32(&header[0], tableAt_);
  bytes::StoreLe32(&header[4], dataAt_);
  return header;
}

std::vector<uint8_t> MdmImageBuilder::Table() const {
  std::vector<uint8_t> table(kEntries * kEntryBytes, 0xFF);
  for (size_t i = 0; i < partitions_.size(); ++i) {
    uint8_t* entry = &table[i * kEntryBytes];
    bytes::StoreLe32(entry, partitions_[i].startBlock);
    bytes::StoreLe32(entry + 4, 0);
    bytes::StoreLe32(entry + 8, partitions_[i].blocks);
    bytes::StoreLe32(entry + 12, 0);
  }
  if (endMarkerAt_ < kEntries) bytes::StoreLe32(&table[endMarkerAt_ * kEntryBytes], kEnd);
  return table;
}

std::vector<uint8_t> MdmImageBuilder::Names() const {
  std::vector<uint8_t> names(kNameTableBytes, 0);
  const int32_t count = nameCount_ >= 0 ? nameCount_ : static_cast<int32_t>(partitions_.size());
  bytes::StoreLe32(&names[kNameCountAt], static_cast<uint32_t>(count));
  for (size_t i = 0; i < partitions_.size(); ++i) {
    const std::string& name = partitions_[i].name;
    std::copy_n(name.begin(), std::min(name.size(), kNameBytes),
                names.begin() + static_cast<std::ptrdiff_t>(kNamesAt + i * kNameBytes));
  }
  return names;
}

std::vector<uint8_t> MdmImageBuilder::Build() const {
  std::vector<uint8_t> file(static_cast<size_t>(Size()));
  for (size_t i = 0; i < file.size(); ++i) file[i] = PatternByte(seed_, i);
  Place(file, 0, Header());
  Place(file, kNameTableOffset, Names());
  Place(file, tableAt_, Table());
  return file;
}

bool MdmImageBuilder::WriteTo(const std::string& path) const {
  const std::vector<uint8_t> bytes = Build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

std::vector<uint8_t> MdmImageBuilder::Data(size_t i) const {
  const std::vector<uint8_t> file = Build();
  const uint64_t from = DataOffset(i);
  if (from >= file.size()) return {};
  const uint64_t n =
      std::min<uint64_t>(uint64_t{partitions_.at(i).blocks} * kBlockBytes, file.size() - from);
  const auto begin = file.begin() + static_cast<std::ptrdiff_t>(from);
  return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(n));
}

MdmPhone MakeMdmPhone(QualcommHandset::Options options) {
  MdmPhone out;
  out.ap = std::make_shared<ModelPhone>();
  out.nvidia = &out.ap->Add(std::make_unique<NvidiaLoader>());
  std::array<uint8_t, PhoneControlModel::kPidSize> pid{};
  out.control = &out.ap->Add(std::make_unique<PhoneControlModel>("TQ4410", pid));
  options.apLoader = [ap = out.ap] { return std::make_unique<SharedPersonality>(ap); };
  out.handset = std::make_unique<QualcommHandset>(std::move(options));
  return out;
}

}  // namespace phonesim::builders
