#include "plugin/model_parser.h"

#include <cstdlib>
#include <cstring>

#include "corvane/platform/byte_order.h"

namespace {

// Numbers take the C library's automatic base: decimal, 0x hexadecimal, leading-zero octal.
uint32_t Number(const char* text) { return static_cast<uint32_t>(std::strtoul(text, nullptr, 0)); }

}  // namespace

void CModelParser::Release() {
  devices_.clear();
  partitions_.clear();
  open_ = Open::kNothing;
}

bool CModelParser::Parse(const uint8_t* image, std::string* error) {
  Release();
  const uint32_t length = bytes::LoadLe32(image);
  // The tokenizer walks mutable pointers but never writes through them.
  char* text = reinterpret_cast<char*>(const_cast<uint8_t*>(image + 4));
  m_pCur = text;
  m_pEnd = text + length;
  char name[kTokenBufferSize];
  char value[kTokenBufferSize];
  char* p = m_pCur;
  for (;;) {
    E_TOKEN_TYPE type = TOKEN_END;
    char* next = parserMain(name, value, p, type);
    if (type == TOKEN_ERROR) {
      if (error)
        *error =
            "The configuration text is broken (unclosed section or comment, or a line too long)";
      return false;
    }
    // A complete token that reaches the end of the text is applied too: dropping it would leave
    // a last "filename=" line's partition unwritten while the run succeeds.
    if (type == TOKEN_END) break;
    if (!Apply(type, name, value, error)) return false;
    if (next >= m_pEnd) break;
    p = next;
  }
  AssignRanges();
  return CheckRanges(error);
}

bool CModelParser::Apply(E_TOKEN_TYPE type, const char* name, const char* value,
                         std::string* error) {
  if (type == TOKEN_SECTION) {
    if (std::strcmp(name, "device") == 0) {
      devices_.push_back({});
      open_ = Open::kDevice;
    } else if (std::strcmp(name, "partition") == 0) {
      if (devices_.empty()) {
        if (error) *error = "A partition comes before any device in the configuration";
        return false;
      }
      partitions_.push_back({});
      ++devices_.back().partitions;
      open_ = Open::kPartition;
    }
    return true;
  }
  if (type != TOKEN_KEY_VALUE) return true;
  if (open_ == Open::kDevice && std::strcmp(name, "Total_size") == 0) {
    devices_.back().totalSize = Number(value);
    devices_.back().totalSizeGiven = true;
  } else if (open_ == Open::kPartition) {
    Partition& part = partitions_.back();
    if (std::strcmp(name, "name") == 0) part.name = std::string(value).substr(0, kMaxName);
    if (std::strcmp(name, "filename") == 0) {
      part.fileName = std::string(value).substr(0, kMaxFileName);
    }
    if (std::strcmp(name, "size") == 0) part.size = Number(value);
  }
  return true;
}

void CModelParser::AssignRanges() {
  uint32_t start = 0;
  for (Partition& part : partitions_) {
    part.start = start;
    part.end = start + part.size - 1;
    start += part.size;
  }
}

// The phone is addressed with 32-bit values: a start in the configuration's unit and a length in
// bytes (sizes in sectors are multiplied by 512). A range that wraps would erase and write over
// another partition, so every range is checked here, before anything reaches the phone. The
// total size counts sectors whatever the unit of the sizes: a device above kLargeDevice sectors
// (about 1.8 GiB) is the one whose sizes count bytes.
bool CModelParser::CheckRanges(std::string* error) const {
  constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
  const uint64_t bytesPerUnit = SizeUnit() ? 1 : 512;
  const auto refuse = [error](const Partition& part, const char* why) {
    if (error) *error = "Partition " + part.name + " " + why;
    return false;
  };
  uint64_t start = 0;
  size_t index = 0;
  for (const Device& device : devices_) {
    for (uint32_t k = 0; k < device.partitions && index < partitions_.size(); ++k, ++index) {
      const Partition& part = partitions_[index];
      const uint64_t end = start + part.size;
      if (end > kAddressSpace) return refuse(part, "runs past the 32-bit addresses of the phone");
      if (uint64_t{part.size} * bytesPerUnit >= kAddressSpace) {
        return refuse(part, "is too large for a 32-bit length in bytes");
      }
      if (device.totalSizeGiven && end * bytesPerUnit > uint64_t{device.totalSize} * 512) {
        return refuse(part, "runs past the device's total size");
      }
      start = end;
    }
  }
  return true;
}

uint32_t CModelParser::FirstDevicePartitions() const {
  return devices_.empty() ? 0 : devices_.front().partitions;
}

uint32_t CModelParser::FirstDeviceTotalSize() const {
  return devices_.empty() ? 0 : devices_.front().totalSize;
}

std::optional<CModelParser::Range> CModelParser::ByIndex(size_t index) const {
  if (index >= partitions_.size()) return std::nullopt;
  return Range{partitions_[index].start, partitions_[index].size, index};
}

std::optional<CModelParser::Range> CModelParser::ByName(const std::string& name) const {
  for (size_t i = 0; i < partitions_.size(); ++i) {
    if (partitions_[i].name == name) return Range{partitions_[i].start, partitions_[i].size, i};
  }
  return std::nullopt;
}

std::optional<CModelParser::Range> CModelParser::ByFileName(const std::string& fileName) const {
  for (size_t i = 0; i < partitions_.size(); ++i) {
    if (partitions_[i].fileName == fileName) {
      return Range{partitions_[i].start, partitions_[i].size, i};
    }
  }
  return std::nullopt;
}

std::string CModelParser::FileNameAt(size_t index) const {
  return index < partitions_.size() ? partitions_[index].fileName : std::string();
}
