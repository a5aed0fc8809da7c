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
  return true;
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
