#include "plugin/mdm_image.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/path.h"

namespace mdm {
namespace {

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;  // commits carry 32-bit addresses

// Fills `out` with 0xFF, then with whatever part of it the source holds from `offset`.
bool ReadFilled(ByteSource& source, uint64_t offset, std::span<uint8_t> out) {
  std::fill(out.begin(), out.end(), 0xFF);
  if (offset >= source.Size()) return true;
  const uint64_t available = source.Size() - offset;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), available));
  return source.ReadAt(offset, out.first(n));
}

// The count is signed in the file; the name slots hold 16 at most.
void TakeNames(std::span<const uint8_t, kNameTableBytes> table, PartitionSet& set) {
  set.declaredNames = static_cast<int32_t>(bytes::LoadLe32(&table[kNameCountAt]));
  set.nameCount = set.declaredNames < 1
                      ? 0
                      : std::min<size_t>(static_cast<size_t>(set.declaredNames), kMaxNames);
  for (size_t k = 0; k < set.nameCount; ++k) {
    const auto* name = reinterpret_cast<const char*>(&table[kNamesAt + k * kNameBytes]);
    // A name that fills its 28 bytes has no terminator: it ends with them.
    set.names[k].assign(name, std::find(name, name + kNameBytes, '\0'));
  }
}

// Block numbers become byte values; an entry with 0xFFFFFFFF in either field ends the table and
// gives its slot the end of NAND, which closes the last partition's erase range.
ReadResult TakeTable(std::span<const uint8_t, kTableBytes> table, PartitionSet& set) {
  for (size_t i = 0; i < kTableEntries; ++i) {
    const uint8_t* entry = &table[i * kEntryBytes];
    const uint32_t start = bytes::LoadLe32(entry);
    const uint32_t blocks = bytes::LoadLe32(entry + 8);
    if (start == kEndOfTable || blocks == kEndOfTable) {
      set.slots[i].address = kNandEnd;
      return {};
    }
    const uint64_t address = uint64_t{start} * kBlockBytes;
    const uint64_t size = uint64_t{blocks} * kBlockBytes;
    // A wrapped address would send the data to another partition's blocks.
    if (address + size > kAddressSpace) return {ReadStatus::kTooFar, i};
    set.slots[i].address = static_cast<uint32_t>(address);
    set.slots[i].size = static_cast<uint32_t>(size);
  }
  return {};
}

// A partition cut short by the end of the file keeps its raw bytes but counts only the data
// bytes of its whole pages. One that the file holds not a single whole page of is refused: its
// blocks would be erased and left empty while the download reports success.
ReadResult ReadSlot(ByteSource& source, uint64_t offset, Slot& slot) {
  const uint64_t length = source.Size();
  if (offset >= length || length - offset < kPageBytes) return {ReadStatus::kNoData, 0};
  uint64_t take = slot.size;
  if (offset + slot.size > length) {
    take = length - offset;
    slot.size = static_cast<uint32_t>(take / kPageBytes * kPageDataBytes);
  }
  slot.data.assign(static_cast<size_t>(take), 0xFF);
  if (!source.ReadAt(offset, slot.data)) return {ReadStatus::kUnreadable, 0};
  return {};
}

ReadResult ReadData(ByteSource& source, uint32_t dataAt, PartitionSet& set) {
  bool anyData = false;
  for (size_t i = 0; i < kTableEntries; ++i) {
    Slot& slot = set.slots[i];
    if (slot.size == 0) continue;
    // Slot 0's data always starts the data area, wherever its blocks lie.
    const uint64_t offset = uint64_t{dataAt} + (i == 0 ? 0 : slot.address);
    ReadResult r = ReadSlot(source, offset, slot);
    if (r.status != ReadStatus::kOk) {
      r.at = i;
      return r;
    }
    anyData = true;
  }
  // A file that is no MDM image (its table outside it, or no entries) must not pass for one.
  return anyData ? ReadResult{} : ReadResult{ReadStatus::kEmpty, 0};
}

ReadResult ReadAll(ByteSource& source, PartitionSet& set) {
  if (source.Size() < kHeaderBytes) return {ReadStatus::kShortHeader, 0};
  std::array<uint8_t, kHeaderBytes> header{};
  if (!source.ReadAt(0, header)) return {ReadStatus::kUnreadable, 0};
  std::array<uint8_t, kTableBytes> table{};
  std::array<uint8_t, kNameTableBytes> names{};
  if (!ReadFilled(source, bytes::LoadLe32(&header[0]), table) ||
      !ReadFilled(source, kNameTableOffset, names)) {
    return {ReadStatus::kUnreadable, 0};
  }
  TakeNames(names, set);
  const ReadResult r = TakeTable(table, set);
  if (r.status != ReadStatus::kOk) return r;
  return ReadData(source, bytes::LoadLe32(&header[4]), set);
}

}  // namespace

void PartitionSet::Release() { *this = PartitionSet{}; }

uint64_t PartitionSet::HeldBytes() const {
  uint64_t total = 0;
  for (const Slot& slot : slots) total += slot.data.size();
  return total;
}

bool MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
  std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

FileSource::FileSource(const std::string& path) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(platform::PathOf(path), ec)) return;
  file_.open(path, std::ios::binary);
  if (!file_) return;
  file_.seekg(0, std::ios::end);
  const std::streamoff end = file_.tellg();
  if (!file_ || end < 0) return;
  size_ = static_cast<uint64_t>(end);
  open_ = true;
}

bool FileSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (!open_ || offset > size_ || out.size() > size_ - offset) return false;
  if (out.empty()) return true;
  if (digest_) ReadThrough(offset);
  if (!ReadRaw(offset, out)) return false;
  if (digest_) digest_->Read(offset, out.data(), out.size());
  return true;
}

void FileSource::DigestFor(Reporter& step) {
  if (open_ && platform::StepDigestsWanted()) digest_.emplace(step, size_);
}

bool FileSource::ReadRaw(uint64_t offset, std::span<uint8_t> out) {
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return file_.gcount() == static_cast<std::streamsize>(out.size());
}

// A stretch that cannot be read is left to the reader, which needs none of it: the digest
// stops before it and is partial.
void FileSource::ReadThrough(uint64_t offset) {
  constexpr size_t kPassBlock = size_t{64} * 1024;
  if (throughFailed_ || digest_->Covered() >= offset) return;
  std::vector<uint8_t> block(kPassBlock);
  for (uint64_t at = digest_->Covered(); at < offset;) {
    const auto n = static_cast<size_t>(std::min<uint64_t>(block.size(), offset - at));
    if (!ReadRaw(at, std::span(block).first(n))) {
      throughFailed_ = true;
      return;
    }
    digest_->Read(at, block.data(), n);
    at += n;
  }
}

ReadResult ReadImage(ByteSource& source, PartitionSet& set) {
  // No buffer of an earlier image stays behind, whatever this read comes to.
  set.Release();
  ReadResult r;
  try {
    r = ReadAll(source, set);
  } catch (const std::bad_alloc&) {
    r = {ReadStatus::kNoMemory, 0};
  }
  if (r.status != ReadStatus::kOk) set.Release();
  return r;
}

}  // namespace mdm
