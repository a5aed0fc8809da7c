#include "sim/builders/ap_builders.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "corvane/platform/byte_order.h"

namespace phonesim::builders {
namespace {

constexpr uint64_t kDataOffset = 1u << 20;
constexpr uint32_t kSector = 512;
constexpr size_t kRecordSize = 512;
constexpr size_t kPiece = size_t{64} * 1024;
constexpr size_t kOmapEntries = 16;
constexpr size_t kNvEntries = 32;

using Sink = std::function<bool(const uint8_t*, size_t)>;

struct Segment {
  uint32_t seed;
  uint64_t length;
};

// The file: the header, zeros up to the data offset, the segments' patterns; at most `cutAt`
// bytes of it go to the sink.
bool Emit(const std::vector<uint8_t>& header, const std::vector<Segment>& segments, uint64_t cutAt,
          const Sink& sink) {
  uint64_t left = cutAt;
  auto put = [&](const uint8_t* data, size_t length) {
    const auto n = static_cast<size_t>(std::min<uint64_t>(length, left));
    left -= n;
    return n == 0 || sink(data, n);
  };
  if (!put(header.data(), header.size())) return false;
  const std::vector<uint8_t> zeros(kPiece, 0);
  for (uint64_t at = header.size(); at < kDataOffset && left > 0; at += kPiece) {
    if (!put(zeros.data(), static_cast<size_t>(std::min<uint64_t>(kPiece, kDataOffset - at)))) {
      return false;
    }
  }
  std::vector<uint8_t> piece(kPiece);
  for (const Segment& s : segments) {
    for (uint64_t at = 0; at < s.length && left > 0; at += kPiece) {
      const auto n = static_cast<size_t>(std::min<uint64_t>(kPiece, s.length - at));
      for (size_t i = 0; i < n; ++i) piece[i] = PatternByte(s.seed, at + i);
      if (!put(piece.data(), n)) return false;
    }
  }
  return true;
}

std::vector<uint8_t> EmitToMemory(const std::vector<uint8_t>& header,
                                  const std::vector<Segment>& segments, uint64_t cutAt) {
  std::vector<uint8_t> out;
  Emit(header, segments, cutAt, [&out](const uint8_t* data, size_t n) {
    out.insert(out.end(), data, data + n);
    return true;
  });
  return out;
}

bool EmitToFile(const std::string& path, const std::vector<uint8_t>& header,
                const std::vector<Segment>& segments, uint64_t cutAt) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = Emit(header, segments, cutAt, [f](const uint8_t* data, size_t n) {
    return std::fwrite(data, 1, n, f) == n;
  });
  return std::fclose(f) == 0 && written;
}

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  bytes::StoreLe32(bytes.data() + offset, value);
}

// Only the entries before the end marker have images in the file.
std::vector<Segment> OmapSegments(const std::vector<OmapFileEntry>& entries) {
  std::vector<Segment> out;
  for (size_t i = 0; i < std::min<size_t>(entries.size(), kOmapEntries); ++i) {
    if (entries[i].endMarker == 0xFFFFFFFF) break;
    out.push_back({entries[i].seed, uint64_t{entries[i].imageSectors} * kSector});
  }
  return out;
}

// Every present entry has its data in the file, in entry order.
std::vector<Segment> NvSegments(const std::vector<NvFileEntry>& entries) {
  std::vector<Segment> out;
  for (size_t i = 0; i < std::min<size_t>(entries.size(), kNvEntries); ++i) {
    if (entries[i].sectors == NvidiaFactoryBuilder::kAbsent) continue;
    out.push_back({entries[i].seed, uint64_t{entries[i].sectors} * kSector});
  }
  return out;
}

}  // namespace

uint8_t PatternByte(uint32_t seed, uint64_t index) {
  uint64_t x = index * 0x9E3779B97F4A7C15ull + (uint64_t{seed} + 1) * 0xD1B54A32D192ED03ull;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  return static_cast<uint8_t>(x >> 56);
}

std::vector<uint8_t> Pattern(size_t length, uint32_t seed) {
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; ++i) out[i] = PatternByte(seed, i);
  return out;
}

std::vector<uint8_t> ImageBuffer(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(4 + data.size());
  bytes::StoreLe32(out.data(), static_cast<uint32_t>(data.size()));
  std::copy(data.begin(), data.end(), out.begin() + 4);
  return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return EmitToFile(path, bytes, {}, bytes.size());
}

// --- OMAP eMMC factory file ----------------------------------------------------------------

OmapFactoryBuilder& OmapFactoryBuilder::Add(const OmapFileEntry& entry) {
  entries_.push_back(entry);
  return *this;
}

OmapFactoryBuilder& OmapFactoryBuilder::Magic(uint32_t magic) {
  magic_ = magic;
  return *this;
}

OmapFactoryBuilder& OmapFactoryBuilder::CutAt(uint64_t bytes) {
  cutAt_ = bytes;
  return *this;
}

std::vector<uint8_t> OmapFactoryBuilder::Header() const {
  std::vector<uint8_t> h(512 + kOmapEntries * kRecordSize, 0);
  PutWord(h, 0, magic_);
  for (size_t i = 0; i < kOmapEntries; ++i) {
    const OmapFileEntry e = i < entries_.size() ? entries_[i] : OmapFileEntry{0, 0, 0, 0xFFFFFFFF};
    PutWord(h, 4 + 8 * i, e.endMarker);
    PutWord(h, 8 + 8 * i, e.imageSectors);
    PutWord(h, 512 + i * kRecordSize + 4, e.areaSize);
  }
  return h;
}

uint64_t OmapFactoryBuilder::DataSize() const {
  uint64_t n = 0;
  for (const Segment& s : OmapSegments(entries_)) n += s.length;
  return n;
}

uint64_t OmapFactoryBuilder::Size() const { return std::min(kDataOffset + DataSize(), cutAt_); }

std::vector<uint8_t> OmapFactoryBuilder::Build() const {
  return EmitToMemory(Header(), OmapSegments(entries_), cutAt_);
}

bool OmapFactoryBuilder::WriteTo(const std::string& path) const {
  return EmitToFile(path, Header(), OmapSegments(entries_), cutAt_);
}

std::vector<uint8_t> OmapFactoryBuilder::Image(size_t i) const {
  const OmapFileEntry& e = entries_.at(i);
  return Pattern(size_t{e.imageSectors} * kSector, e.seed);
}

// --- NVIDIA factory file -------------------------------------------------------------------

NvidiaFactoryBuilder& NvidiaFactoryBuilder::Add(const NvFileEntry& entry) {
  entries_.push_back(entry);
  return *this;
}

NvidiaFactoryBuilder& NvidiaFactoryBuilder::Magic(std::array<uint8_t, 4> magic) {
  magic_ = magic;
  return *this;
}

NvidiaFactoryBuilder& NvidiaFactoryBuilder::CutAt(uint64_t bytes) {
  cutAt_ = bytes;
  return *this;
}

std::vector<uint8_t> NvidiaFactoryBuilder::Header() const {
  std::vector<uint8_t> h(512 + kNvEntries * kRecordSize, 0);
  std::copy(magic_.begin(), magic_.end(), h.begin());
  for (size_t i = 0; i < kNvEntries; ++i) {
    const NvFileEntry e = i < entries_.size() ? entries_[i] : NvFileEntry{kAbsent, 0, 0, 0};
    PutWord(h, 4 + 8 * i, e.firstWord);
    PutWord(h, 8 + 8 * i, e.sectors);
    PutWord(h, 512 + i * kRecordSize + 4, e.advance);
  }
  return h;
}

uint64_t NvidiaFactoryBuilder::DataSize() const {
  uint64_t n = 0;
  for (const Segment& s : NvSegments(entries_)) n += s.length;
  return n;
}

uint64_t NvidiaFactoryBuilder::Size() const { return std::min(kDataOffset + DataSize(), cutAt_); }

std::vector<uint8_t> NvidiaFactoryBuilder::Build() const {
  return EmitToMemory(Header(), NvSegments(entries_), cutAt_);
}

bool NvidiaFactoryBuilder::WriteTo(const std::string& path) const {
  return EmitToFile(path, Header(), NvSegments(entries_), cutAt_);
}

std::vector<uint8_t> NvidiaFactoryBuilder::Image(size_t i) const {
  const NvFileEntry& e = entries_.at(i);
  return Pattern(size_t{e.sectors} * kSector, e.seed);
}

}  // namespace phonesim::builders
