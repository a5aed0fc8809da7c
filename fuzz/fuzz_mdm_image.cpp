// Arbitrary MDM images: the reader must ask its source only for bytes inside the file, hold only
// the file's own bytes, and leave a partition set whose sizes agree with what it holds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "plugin/mdm_image.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Short inputs rarely reach the name table at 0x64080, so an input that starts with 'C' describes
// a file instead: its length (up to 1 MiB), the header, the sixteen table entries and the name
// table, as little-endian words (words past the input are 0). Every other byte of
// the file follows a pattern of its offset.
constexpr uint64_t kMaxLength = 1u << 20;

struct Words {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint32_t Next() {
    uint8_t word[4] = {};
    for (uint8_t& b : word) b = at < size ? data[at++] : 0;
    return bytes::LoadLe32(word);
  }
};

void PutWord(std::vector<uint8_t>& file, uint64_t offset, uint32_t word) {
  for (uint32_t k = 0; k < 4; ++k) {
    if (offset + k < file.size()) file[offset + k] = static_cast<uint8_t>(word >> (8 * k));
  }
}

std::vector<uint8_t> DescribedFile(Words& in) {
  std::vector<uint8_t> file(in.Next() % (kMaxLength + 1));
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 131 + (i >> 11));
  const uint32_t tableAt = in.Next();
  PutWord(file, 0, tableAt);
  PutWord(file, 4, in.Next());
  for (size_t i = 0; i < mdm::kTableEntries; ++i) {
    PutWord(file, uint64_t{tableAt} + i * mdm::kEntryBytes, in.Next());
    PutWord(file, uint64_t{tableAt} + i * mdm::kEntryBytes + 8, in.Next());
  }
  for (size_t i = 0; i < mdm::kNameTableBytes / 4; ++i) {
    PutWord(file, mdm::kNameTableOffset + 4 * i, in.Next());
  }
  return file;
}

// The reader's source, checked: it never asks for a byte outside the file.
class CheckedSource : public mdm::ByteSource {
 public:
  explicit CheckedSource(std::span<const uint8_t> bytes) : inner_(bytes) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    Require(offset <= Size() && out.size() <= Size() - offset);
    return inner_.ReadAt(offset, out);
  }

 private:
  mdm::MemorySource inner_;
};

void CheckNames(const mdm::PartitionSet& set) {
  const int32_t n = set.declaredNames;
  Require(set.nameCount == (n < 1 ? 0 : std::min<size_t>(static_cast<size_t>(n), 16)));
  for (size_t k = 0; k < mdm::kMaxNames; ++k) {
    Require(set.names[k].size() <= mdm::kNameBytes);
    if (k >= set.nameCount) Require(set.names[k].empty());
  }
}

// Each buffer holds the file's bytes from where its slot's data starts; its size is the buffer's
// length, or the data bytes of the whole pages in it when the file cut the partition short.
void CheckSlots(mdm::ByteSource& source, const mdm::PartitionSet& set) {
  uint8_t header[8];
  Require(source.ReadAt(0, header));
  const uint64_t dataAt = bytes::LoadLe32(header + 4);
  for (size_t i = 0; i < mdm::kSlots; ++i) {
    const mdm::Slot& slot = set.slots[i];
    Require(slot.data.size() >= slot.size);
    if (slot.data.empty()) continue;
    const uint64_t held = slot.data.size();
    Require(slot.size == held || slot.size == held / mdm::kPageBytes * mdm::kPageDataBytes);
    Require(slot.size == held || dataAt + (i == 0 ? 0 : slot.address) + held == source.Size());
    const uint64_t from = dataAt + (i == 0 ? 0 : slot.address);
    std::vector<uint8_t> expected(slot.data.size());
    Require(source.ReadAt(from, expected));
    Require(expected == slot.data);
    Require(uint64_t{slot.address} + slot.size <= uint64_t{1} << 32);
  }
  Require(set.slots[mdm::kTableEntries].address == 0);
}

void Check(mdm::ByteSource& source) {
  mdm::PartitionSet set;
  const mdm::ReadResult r = mdm::ReadImage(source, set);
  if (r.status != mdm::ReadStatus::kOk) {
    Require(set.HeldBytes() == 0 && set.nameCount == 0);
    for (const mdm::Slot& slot : set.slots) Require(slot.size == 0 && slot.address == 0);
    return;
  }
  CheckNames(set);
  CheckSlots(source, set);
  // A second read of the same bytes replaces the first with the same result.
  mdm::PartitionSet again = set;
  Require(mdm::ReadImage(source, again).status == mdm::ReadStatus::kOk);
  Require(again.HeldBytes() == set.HeldBytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == 'C') {
    Words in{data + 1, size - 1};
    const std::vector<uint8_t> bytes = DescribedFile(in);
    CheckedSource file(bytes);
    Check(file);
  } else {
    CheckedSource file({data, size});
    Check(file);
  }
  return 0;
}
