#include "flash/ifx_image.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "corvane/platform/byte_order.h"

namespace ifx {
namespace {

Refusal Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

Refusal Say(const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

template <size_t N>
std::array<uint32_t, N> Words(const uint8_t* bytes) {
  std::array<uint32_t, N> words{};
  for (size_t i = 0; i < N; ++i) words[i] = bytes::LoadLe32(bytes + 4 * i);
  return words;
}

Refusal Unreadable(const Area& area) { return Say("cannot read the %s", area.noun); }

// An element of a known type must hold the fixed data this system reads from it.
Refusal NeedData(const Area& area, const Element& element, size_t size) {
  if (element.DataSize() >= size) return {};
  return Say("Element of type %u at offset %llu of the %s is too short for its data", element.type,
             U(element.at), area.noun);
}

}  // namespace

bool MemorySource::Read(uint64_t offset, uint8_t* out, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n > 0) std::memcpy(out, data_ + offset, n);
  return true;
}

Refusal ImageArea(ByteSource& source, Area& area) {
  uint8_t word[4];
  if (!source.Read(0, word, sizeof word)) return "The image is shorter than its length word";
  const uint64_t length = bytes::LoadLe32(word);
  if (length > source.Size() - 4) {
    return Say("The image's length word (%llu bytes) claims more than its buffer holds", U(length));
  }
  area = Area{4, length, "image"};
  return {};
}

Area FactoryArea(const ByteSource& source) { return Area{0, source.Size(), "factory file"}; }

bool ElementWalker::Next(Element& element) {
  if (done_ || area_.length - position_ < kHeaderSize) {
    done_ = true;
    return false;
  }
  uint8_t header[kHeaderSize];
  const uint64_t at = area_.start + position_;
  if (!source_.Read(at, header, sizeof header)) {
    error_ = Unreadable(area_);
  } else {
    element = Element{at, bytes::LoadLe32(header), bytes::LoadLe32(header + 4),
                      bytes::LoadLe32(header + 8)};
    if (element.length == 0) {
      done_ = true;
      return false;
    }
    if (element.length < kHeaderSize) {
      error_ =
          Say("Element at offset %llu of the %s is shorter than its header", U(at), area_.noun);
    } else if (element.length > area_.length - position_) {
      cut_ = element;
      done_ = true;
      return false;
    }
  }
  if (!error_.empty()) {
    done_ = true;
    return false;
  }
  position_ += element.length;
  return true;
}

Refusal ElementWalker::CutRefusal() const {
  if (!cut_) return {};
  return Say("Element of type %u at offset %llu of the %s runs past its end", cut_->type,
             U(cut_->at), area_.noun);
}

Refusal ReadLoaderDesc(ByteSource& source, const Area& area, const Element& element,
                       LoaderDesc& out) {
  if (Refusal why = NeedData(area, element, kLoaderDescSize); !why.empty()) return why;
  uint8_t raw[kLoaderDescSize];
  if (!source.Read(element.DataAt(), raw, sizeof raw)) return Unreadable(area);
  const auto words = Words<kLoaderDescWords>(raw);
  const uint64_t size = words[2];
  const uint64_t offset = words[4];
  if (offset > area.length || size > area.length - offset) {
    return Say("%s descriptor points outside the %s", element.type == kPsi ? "PSI" : "EBL",
               area.noun);
  }
  out = LoaderDesc{words, area.start + offset, words[2]};
  return {};
}

Refusal ReadCodeElement(ByteSource& source, const Area& area, const Element& element,
                        CodeElement& out) {
  if (Refusal why = NeedData(area, element, kCodeDescSize); !why.empty()) return why;
  uint8_t raw[kCodeDescSize];
  if (!source.Read(element.DataAt(), raw, sizeof raw)) return Unreadable(area);
  CodeElement code{Words<kCodeDescWords>(raw), element.DataAt() + kCodeDescSize};
  if (code.Length() > element.DataSize() - kCodeDescSize) {
    return Say("Code of the element at offset %llu of the %s (%u bytes) runs past its element",
               U(element.at), area.noun, code.Length());
  }
  out = code;
  return {};
}

Refusal ReadLoadList(ByteSource& source, const Area& area, const Element& element, LoadList& out) {
  if (Refusal why = NeedData(area, element, kLoadListHeadSize - kHeaderSize); !why.empty()) {
    return why;
  }
  uint8_t raw[4];
  if (!source.Read(element.DataAt(), raw, sizeof raw)) return Unreadable(area);
  const uint32_t count = bytes::LoadLe32(raw);
  const uint64_t room = element.length - kLoadListHeadSize;
  if (uint64_t{count} * kLoadRecordSize > room) {
    return Say("Load list at offset %llu of the %s counts %u records, more than its element holds",
               U(element.at), area.noun, count);
  }
  out = LoadList{count, element.at + kLoadListHeadSize};
  return {};
}

Refusal ReadBlock(ByteSource& source, const Area& area, const Element& element, uint8_t* out,
                  size_t size) {
  if (Refusal why = NeedData(area, element, size); !why.empty()) return why;
  return source.Read(element.DataAt(), out, size) ? Refusal{} : Unreadable(area);
}

bool ReadLoadRecord(ByteSource& source, const LoadList& list, uint32_t index, LoadRecord& out) {
  if (index >= list.count) return false;
  uint8_t raw[kLoadRecordSize];
  if (!source.Read(list.recordsAt + uint64_t{index} * kLoadRecordSize, raw, sizeof raw)) {
    return false;
  }
  const uint8_t* name = raw + kLoadNameOffset;
  out.id = bytes::LoadLe32(raw);
  out.name.assign(name, std::find(name, name + kLoadNameSize, 0));
  return true;
}

namespace {

Refusal ScanOne(ByteSource& source, const Area& area, unsigned kinds, const Element& e,
                Layout& out) {
  const bool loaders = (kinds & kScanLoaders) != 0;
  const bool data = (kinds & kScanData) != 0;
  Refusal why;
  if (loaders && (e.type == kPsi || e.type == kEbl)) {
    LoaderDesc desc;
    why = ReadLoaderDesc(source, area, e, desc);
    if (why.empty()) (e.type == kPsi ? out.psi : out.ebl) = desc;
  } else if (loaders && e.type == kBootInfo) {
    why = NeedData(area, e, kBootInfoSize);
    if (why.empty()) out.bootInfoAt = e.DataAt();
  } else if (data && e.type == kCode) {
    CodeElement code;
    why = ReadCodeElement(source, area, e, code);
    if (why.empty()) out.code = code;
  } else if (data && e.type == kSecurity) {
    why = NeedData(area, e, kSecuritySize);
    if (why.empty()) out.securityAt = e.DataAt();
  } else if ((kinds & kScanLoadList) != 0 && e.type == kLoadList) {
    LoadList list;
    why = ReadLoadList(source, area, e, list);
    if (why.empty()) out.loadList = list;
  }
  return why;
}

bool ScanReads(unsigned kinds, uint32_t type) {
  switch (type) {
    case kPsi:
    case kEbl:
    case kBootInfo:
      return (kinds & kScanLoaders) != 0;
    case kCode:
    case kSecurity:
      return (kinds & kScanData) != 0;
    case kLoadList:
      return (kinds & kScanLoadList) != 0;
    default:
      return false;
  }
}

}  // namespace

Refusal Scan(ByteSource& source, const Area& area, unsigned kinds, Layout& out) {
  ElementWalker walker(source, area);
  Element element;
  while (walker.Next(element)) {
    if (Refusal why = ScanOne(source, area, kinds, element, out); !why.empty()) return why;
  }
  if (walker.Cut() && ScanReads(kinds, walker.Cut()->type)) return walker.CutRefusal();
  return walker.Error();
}

}  // namespace ifx
