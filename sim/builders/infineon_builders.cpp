#include "sim/builders/infineon_builders.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include "corvane/platform/byte_order.h"

namespace phonesim::builders {
namespace {

Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes out(4 * words.size());
  size_t i = 0;
  for (uint32_t w : words) bytes::StoreLe32(&out[4 * i++], w);
  return out;
}

// Offsets of what a builder wrote, for the lies to patch.
struct Written {
  size_t psiDesc = 0;
  size_t eblDesc = 0;
  size_t firstCode = SIZE_MAX;
  size_t loadList = SIZE_MAX;
  size_t last = 0;
};

// Both formats start with the loaders: their bytes in containers of a skipped type, then the
// descriptors that point at them, then the boot information.
Written AddLoaders(IfxElements& area, const Bytes& psi, const Bytes& ebl, const Bytes& bootInfo) {
  const size_t psiAt = area.Add(kIfxBlob, psi) + kIfxHeaderSize;
  const size_t eblAt = area.Add(kIfxBlob, ebl) + kIfxHeaderSize;
  Written w;
  w.psiDesc = area.Add(
      kIfxPsi, IfxLoaderDesc(static_cast<uint32_t>(psi.size()), static_cast<uint32_t>(psiAt)));
  w.eblDesc = area.Add(
      kIfxEbl, IfxLoaderDesc(static_cast<uint32_t>(ebl.size()), static_cast<uint32_t>(eblAt)));
  w.last = area.Add(kIfxBootInfo, bootInfo);
  return w;
}

void AddWord(IfxElements& area, size_t offset, uint32_t extra) {
  if (extra != 0) area.PutWord(offset, area.Word(offset) + extra);
}

constexpr size_t kCodeDescSize = 28;

// Word positions inside the elements: data starts after the 12-byte header.
constexpr size_t kLengthWord = 4;
constexpr size_t kDescSizeWord = kIfxHeaderSize + 8;
constexpr size_t kDescOffsetWord = kIfxHeaderSize + 16;
constexpr size_t kCodeLengthWord = kIfxHeaderSize + 16;
constexpr size_t kRecordCountWord = kIfxHeaderSize;

void ApplyLies(IfxElements& area, const Written& w, const IfxLies& lies) {
  AddWord(area, w.psiDesc + kDescOffsetWord, lies.psiOffsetShift);
  AddWord(area, w.psiDesc + kDescSizeWord, lies.psiSizeExtra);
  AddWord(area, w.eblDesc + kDescOffsetWord, lies.eblOffsetShift);
  AddWord(area, w.eblDesc + kDescSizeWord, lies.eblSizeExtra);
  if (w.firstCode != SIZE_MAX) AddWord(area, w.firstCode + kCodeLengthWord, lies.codeLengthExtra);
  if (w.loadList != SIZE_MAX) {
    AddWord(area, w.loadList + kRecordCountWord, lies.loadListCountExtra);
  }
  AddWord(area, w.last + kLengthWord, lies.lastElementExtra);
  Bytes& bytes = area.Area();
  bytes.insert(bytes.end(), std::min<size_t>(lies.trailingBytes, kIfxHeaderSize - 1), 0xA5);
  const auto cut = static_cast<std::ptrdiff_t>(std::min(lies.cutBytes, bytes.size()));
  bytes.erase(bytes.end() - cut, bytes.end());
}

}  // namespace

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) {
    out[i] = static_cast<uint8_t>(size_t{seed} * 31 + i * 7 + (i >> 8) * 3 + (i >> 11));
  }
  return out;
}

Bytes SecurityBlock(uint32_t flashAddress, uint8_t seed) {
  Bytes block = Pattern(kIfxSecuritySize, seed);
  bytes::StoreLe32(&block[kIfxFlashAddressAt], flashAddress);
  return block;
}

size_t IfxElements::Add(uint32_t type, const Bytes& data, uint32_t tag) {
  const size_t at = area_.size();
  area_.resize(at + kIfxHeaderSize);
  bytes::StoreLe32(&area_[at], type);
  bytes::StoreLe32(&area_[at + 4], static_cast<uint32_t>(kIfxHeaderSize + data.size()));
  bytes::StoreLe32(&area_[at + 8], tag);
  area_.insert(area_.end(), data.begin(), data.end());
  return at;
}

void IfxElements::PutWord(size_t offset, uint32_t value) {
  if (offset > area_.size() || area_.size() - offset < 4) throw std::out_of_range("PutWord");
  bytes::StoreLe32(&area_[offset], value);
}

uint32_t IfxElements::Word(size_t offset) const {
  if (offset > area_.size() || area_.size() - offset < 4) throw std::out_of_range("Word");
  return bytes::LoadLe32(&area_[offset]);
}

Bytes IfxElements::AsImage() const {
  Bytes image(4);
  bytes::StoreLe32(image.data(), static_cast<uint32_t>(area_.size()));
  image.insert(image.end(), area_.begin(), area_.end());
  return image;
}

Bytes IfxLoaderDesc(uint32_t size, uint32_t offset) {
  return Words({0x00010001, 0xA0000000, size, 0x5A5A5A5A, offset});
}

Bytes IfxCodeData(const Bytes& code, uint32_t lengthExtra) {
  Bytes data = Words(
      {1, 0x00000C00, 0x80000000, 7, static_cast<uint32_t>(code.size()) + lengthExtra, 0xC0DE, 0});
  data.insert(data.end(), code.begin(), code.end());
  return data;
}

Bytes IfxLoadList(const std::vector<IfxComponent>& components, uint32_t countExtra) {
  Bytes data = Words({static_cast<uint32_t>(components.size()) + countExtra, 0, 0});
  for (const IfxComponent& c : components) {
    Bytes record(kIfxLoadRecordSize, 0);
    bytes::StoreLe32(record.data(), c.id);
    std::copy_n(c.name.begin(), std::min<size_t>(c.name.size(), 127), record.begin() + 16);
    data.insert(data.end(), record.begin(), record.end());
  }
  return data;
}

IfxImage BuildIfxImage(const IfxImageParts& parts, const IfxLies& lies) {
  IfxElements area;
  Written w = AddLoaders(area, parts.psi, parts.ebl, parts.bootInfo);
  area.Add(kIfxSecurity, parts.security);
  w.firstCode = area.Add(kIfxCode, IfxCodeData(parts.code));
  w.last = w.firstCode;
  ApplyLies(area, w, lies);
  IfxImage image;
  image.buffer = area.AsImage();
  image.codeDescAt = 4 + w.firstCode + kIfxHeaderSize;
  image.codeAt = image.codeDescAt + kCodeDescSize;
  return image;
}

Bytes BuildIfxFactory(const IfxFactoryParts& parts, const IfxLies& lies) {
  IfxElements area;
  Written w = AddLoaders(area, parts.psi, parts.ebl, parts.bootInfo);
  if (parts.withLoadList) {
    w.loadList = w.last = area.Add(kIfxLoadList, IfxLoadList(parts.components));
  }
  uint8_t seed = 40;
  for (const IfxComponent& c : parts.components) {
    if (c.withCode) {
      const size_t at = area.Add(kIfxCode, IfxCodeData(c.code), c.id);
      w.firstCode = std::min(w.firstCode, at);
      w.last = at;
    }
    if (c.withSecurity) w.last = area.Add(kIfxSecurity, SecurityBlock(c.flashAddress, seed), c.id);
    ++seed;
  }
  for (const IfxRawElement& e : parts.extra) w.last = area.Add(e.type, e.data, e.tag);
  ApplyLies(area, w, lies);
  return area.Area();
}

}  // namespace phonesim::builders
