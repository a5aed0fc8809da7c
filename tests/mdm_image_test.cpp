// Reading the modem's MDM image into the file manager's partition set: the reader over bytes, and
// the file manager's reading of files with its lines.

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "plugin/mdm_image.h"
#include "plugin/model_file_mngr.h"
#include "sim/builders/mdm_builders.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::builders::MdmImageBuilder;
using phonesim::builders::MdmPartition;

constexpr uint32_t B = mdm::kBlockBytes;

class MdmImage : public ::testing::Test {
 protected:
  MdmImage() { files.SetParentHandle(&window); }

  // Reads the built image through the file manager, from memory.
  int Read(const MdmImageBuilder& b) {
    image = b.Build();
    mdm::MemorySource source(image);
    return files.ReadMDMImage(source);
  }
  const mdm::Slot& Slot(size_t i) const { return files.m_Partitions.slots[i]; }

  // Slots from `from` on that hold nothing.
  void ExpectEmptyFrom(size_t from) const {
    for (size_t i = from; i < mdm::kTableEntries; ++i) {
      EXPECT_EQ(Slot(i).size, 0u) << "slot " << i;
      EXPECT_TRUE(Slot(i).data.empty()) << "slot " << i;
    }
  }

  testing_support::RecordingWindow window;
  CModelFileMngr files;
  Bytes image;
};

MdmImageBuilder ThreePartitions() {
  MdmImageBuilder b;
  b.Add({"sbl", 0, 1}).Add({"modem", 1, 2}).Add({"efs", 3, 1});
  return b;
}

TEST_F(MdmImage, TruthfulImageGivesAddressesSizesDataAndNames) {
  const MdmImageBuilder b = ThreePartitions();
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#100"}));
  const uint32_t addresses[] = {0, B, 3 * B};
  const uint32_t sizes[] = {B, 2 * B, B};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Slot(i).address, addresses[i]) << i;
    EXPECT_EQ(Slot(i).size, sizes[i]) << i;
    EXPECT_EQ(Slot(i).data, b.Data(i)) << i;
    EXPECT_EQ(b.Data(i).size(), sizes[i]) << i;
  }
  // The slot after the last entry closes the last partition's erase range at the end of NAND.
  EXPECT_EQ(Slot(3).address, 0x8400000u);
  ExpectEmptyFrom(3);
  EXPECT_EQ(Slot(16).address, 0u);
  EXPECT_EQ(files.m_Partitions.nameCount, 3u);
  EXPECT_EQ(files.m_Partitions.names[0], "sbl");
  EXPECT_EQ(files.m_Partitions.names[1], "modem");
  EXPECT_EQ(files.m_Partitions.names[2], "efs");
  EXPECT_EQ(files.m_Partitions.names[3], "");
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 4ull * B);
}

// Nothing to write is no image: a download of it would report success with the NAND untouched.
TEST_F(MdmImage, ImagesWithoutDataToWriteAreRefused) {
  const Lines empty = {"#0", "#200", "MDM binary holds no partition to write"};
  MdmImageBuilder b = ThreePartitions();
  b.EndMarkerAt(0);
  EXPECT_EQ(Read(b), 0);
  EXPECT_EQ(window.Log(), empty);
  EXPECT_EQ(Slot(0).address, 0u);

  window.Clear();
  MdmImageBuilder table = ThreePartitions();
  table.TableAt(0x7FFFFFF0).CutAt(ThreePartitions().Size());  // beyond the file: end markers
  EXPECT_EQ(Read(table), 0);
  EXPECT_EQ(window.Log(), empty);

  // Partition 1 of two lies past the end; partition 0 ends one byte short of a page.
  window.Clear();
  MdmImageBuilder far;
  far.Add({"here", 0, 1}).Add({"far", 30000, 2}).CutAt(0x64400 + B);
  EXPECT_EQ(Read(far), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "MDM binary partition 1 has no data in the file"}));
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
  MdmImageBuilder under;
  under.Add({"p0", 0, 1}).CutAt(under.DataOffset(0) + mdm::kPageBytes - 1);
  EXPECT_EQ(Read(under), 0);
}

TEST_F(MdmImage, SizeFieldOfAllOnesEndsTheTableToo) {
  MdmImageBuilder b;
  b.Add({"a", 0, 1}).Add({"b", 1, 0xFFFFFFFF}).Add({"c", 2, 1}).CutAt(0x64400 + 3 * B);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(0).size, B);
  EXPECT_EQ(Slot(1).address, 0x8400000u);
  ExpectEmptyFrom(1);
  EXPECT_EQ(Slot(2).address, 0u);
}

TEST_F(MdmImage, FileEndingInsideTheLastPartitionKeepsItsWholePagesAsDataBytes) {
  MdmImageBuilder b;
  b.Add({"p0", 0, 1}).Add({"p1", 1, 1}).Add({"p2", 2, 1});
  const uint64_t cut = b.DataOffset(2) + 5 * mdm::kPageBytes + 100;  // 5 pages and a bit
  b.CutAt(cut);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(1).size, B);
  EXPECT_EQ(Slot(2).size, 5u * 2048);
  // The buffer holds the raw bytes as far as the file goes.
  EXPECT_EQ(Slot(2).data.size(), 5u * mdm::kPageBytes + 100);
  EXPECT_EQ(Slot(2).data, b.Data(2));
  EXPECT_EQ(Slot(3).address, 0x8400000u);
}

TEST_F(MdmImage, SixteenValidEntriesHaveNoEndMarker) {
  MdmImageBuilder b;
  for (uint32_t i = 0; i < 16; ++i) b.Add({"part" + std::to_string(i), i, 1});
  ASSERT_EQ(Read(b), 1);
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(Slot(i).address, i * B) << i;
    EXPECT_EQ(Slot(i).size, B) << i;
    EXPECT_EQ(Slot(i).data, b.Data(i)) << i;
  }
  EXPECT_EQ(Slot(16).address, 0u);
  EXPECT_EQ(files.m_Partitions.nameCount, 16u);
  EXPECT_EQ(files.m_Partitions.names[15], "part15");
}

TEST_F(MdmImage, SlotZeroTakesItsDataFromTheStartOfTheDataArea) {
  MdmImageBuilder b;
  b.Add({"late", 5, 1}).Add({"next", 6, 1});
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(0).address, 5 * B);
  const Bytes& fileBytes = image;
  const Bytes fromD(fileBytes.begin() + MdmImageBuilder::kDefaultDataAt,
                    fileBytes.begin() + MdmImageBuilder::kDefaultDataAt + B);
  EXPECT_EQ(Slot(0).data, fromD);
  EXPECT_EQ(Slot(1).data, b.Data(1));
  EXPECT_EQ(b.DataOffset(1), MdmImageBuilder::kDefaultDataAt + 6ull * B);
}

TEST_F(MdmImage, FileTooShortForTheNameTableCopiesNoNames) {
  MdmImageBuilder b;
  b.TableAt(0x68).DataAt(0x200).Add({"only", 0, 1}).CutAt(0x200 + B);
  ASSERT_LT(b.Size(), MdmImageBuilder::kNameTableOffset);
  ASSERT_EQ(Read(b), 1);
  // The count reads from the 0xFF fill: -1, below 1.
  EXPECT_EQ(files.m_Partitions.declaredNames, -1);
  EXPECT_EQ(files.m_Partitions.nameCount, 0u);
  EXPECT_EQ(files.m_Partitions.names[0], "");
  EXPECT_EQ(Slot(0).size, B);
  EXPECT_EQ(Slot(0).data, b.Data(0));
}

TEST_F(MdmImage, NameCountIsClampedToTheSixteenSlots) {
  MdmImageBuilder b;
  for (uint32_t i = 0; i < 16; ++i) b.Add({"n" + std::to_string(i), i, i == 0 ? 1u : 0u});
  b.NameCount(40);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(files.m_Partitions.declaredNames, 40);
  EXPECT_EQ(files.m_Partitions.nameCount, 16u);
  EXPECT_EQ(files.m_Partitions.names[15], "n15");

  b.NameCount(2);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(files.m_Partitions.nameCount, 2u);
  EXPECT_EQ(files.m_Partitions.names[2], "");  // nothing of the earlier read stays

  b.NameCount(0);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(files.m_Partitions.nameCount, 0u);
  EXPECT_EQ(files.m_Partitions.names[0], "");
}

TEST_F(MdmImage, NameFillingAllItsBytesEndsWithThem) {
  const std::string longName(28, 'x');
  MdmImageBuilder b;
  b.Add({longName, 0, 1}).Add({"second", 1, 0});
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(files.m_Partitions.names[0], longName);
  EXPECT_EQ(files.m_Partitions.names[1], "second");
}

TEST_F(MdmImage, DataOffsetPastTheEndReadsNothingOutsideTheFile) {
  MdmImageBuilder data = ThreePartitions();
  data.DataAt(0xFFFFFFF0).CutAt(ThreePartitions().Size());  // no partition's data is in the file
  EXPECT_EQ(Read(data), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "MDM binary partition 0 has no data in the file"}));
  ExpectEmptyFrom(0);
}

// A file of `size` bytes: the image, then 0xFF; nothing of the tail is held until it is read.
class LongSource : public mdm::ByteSource {
 public:
  LongSource(const Bytes& head, uint64_t size) : head_(head), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = offset + i < head_.size() ? head_[static_cast<size_t>(offset + i)] : 0xFF;
    }
    return offset + out.size() <= size_;
  }

 private:
  const Bytes& head_;
  uint64_t size_;
};

TEST_F(MdmImage, PartitionBeyondThirtyTwoBitAddressesIsRefused) {
  MdmImageBuilder b;
  // A partition at block 31775 starts below 4 GiB but ends beyond it.
  b.Add({"ok", 0, 1}).Add({"wraps", 31775, 1}).CutAt(0x64400 + B);
  EXPECT_EQ(Read(b), 0);
  EXPECT_EQ(
      window.Log(),
      (Lines{"#0", "#200", "MDM binary partition 1 lies beyond the NAND's 32-bit addresses"}));
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
  EXPECT_EQ(Slot(0).size, 0u);

  MdmImageBuilder edge;
  edge.Add({"ok", 0, 1}).Add({"last", 31774, 1}).CutAt(0x64400 + B);
  const Bytes head = edge.Build();
  LongSource whole(head, 0x64400 + 31775ull * B);
  EXPECT_EQ(files.ReadMDMImage(whole), 1);
  EXPECT_EQ(Slot(1).address, 31774u * B);
  EXPECT_EQ(Slot(1).size, B);
}

TEST_F(MdmImage, ShortHeaderFailsWithItsReason) {
  const Bytes shortFile(103, 0);
  mdm::MemorySource source(shortFile);
  EXPECT_EQ(files.ReadMDMImage(source), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "MDM binary is shorter than its header"}));

  // A header alone is an image without partitions: nothing to write.
  window.Clear();
  Bytes header(104, 0);
  header[0] = 0x68;  // the table would lie right after it
  mdm::MemorySource headerOnly(header);
  EXPECT_EQ(files.ReadMDMImage(headerOnly), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "MDM binary holds no partition to write"}));
}

TEST_F(MdmImage, EveryReadReleasesWhatTheLastOneHeld) {
  MdmImageBuilder big;
  big.Add({"a", 0, 3}).Add({"b", 3, 3});
  ASSERT_EQ(Read(big), 1);
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 6ull * B);

  MdmImageBuilder small;
  small.Add({"c", 0, 1});
  ASSERT_EQ(Read(small), 1);
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 1ull * B);
  EXPECT_EQ(Slot(1).address, 0x8400000u);
  EXPECT_EQ(Slot(1).size, 0u);
  EXPECT_EQ(files.m_Partitions.names[1], "");

  // A failed read leaves nothing of the earlier image behind.
  const Bytes shortFile(10, 0);
  mdm::MemorySource source(shortFile);
  EXPECT_EQ(files.ReadMDMImage(source), 0);
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
  EXPECT_EQ(Slot(0).address, 0u);
  EXPECT_EQ(files.m_Partitions.nameCount, 0u);
}

// A source that fails the way a disk or the allocator can.
class FailingSource : public mdm::ByteSource {
 public:
  enum class Fault { kReadError, kNoMemory };
  FailingSource(const Bytes& bytes, uint64_t failAt, Fault fault)
      : inner_(bytes), failAt_(failAt), fault_(fault) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset < failAt_) return inner_.ReadAt(offset, out);
    if (fault_ == Fault::kNoMemory) throw std::bad_alloc();
    return false;
  }

 private:
  mdm::MemorySource inner_;
  uint64_t failAt_;
  Fault fault_;
};

TEST_F(MdmImage, SourceFailuresReleaseEverythingAndSayWhy) {
  const MdmImageBuilder b = ThreePartitions();
  const Bytes bytes = b.Build();
  FailingSource unreadable(bytes, b.DataOffset(1), FailingSource::Fault::kReadError);
  EXPECT_EQ(files.ReadMDMImage(unreadable), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "We can't read MDM binary"}));
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);

  window.Clear();
  FailingSource noMemory(bytes, b.DataOffset(2), FailingSource::Fault::kNoMemory);
  EXPECT_EQ(files.ReadMDMImage(noMemory), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "An error occured when malloc"}));
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
  EXPECT_EQ(Slot(0).size, 0u);
}

TEST_F(MdmImage, FilesAreReadFromDiskAndMissingOnesAreRefused) {
  testing_support::TempDir dir;
  const MdmImageBuilder b = ThreePartitions();
  ASSERT_TRUE(b.WriteTo(dir / "modem.mdm"));
  EXPECT_EQ(files.ReadMDMImage(dir / "modem.mdm"), 1);
  EXPECT_EQ(Slot(1).data, b.Data(1));
  EXPECT_EQ(window.Log(), (Lines{"#0", "#100"}));

  for (const std::string& path : {dir / "missing.mdm", dir.Path().string(), std::string()}) {
    window.Clear();
    EXPECT_EQ(files.ReadMDMImage(path), 0) << path;
    EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "We can't read MDM binary"})) << path;
    EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
  }
}

TEST_F(MdmImage, WithoutAWindowNothingIsSent) {
  CModelFileMngr quiet;
  const Bytes bytes = ThreePartitions().Build();
  mdm::MemorySource source(bytes);
  EXPECT_EQ(quiet.ReadMDMImage(source), 1);
  EXPECT_EQ(quiet.m_Partitions.slots[0].size, B);
  EXPECT_EQ(quiet.ReadMDMImage(std::string("/nonexistent/file")), 0);
}

}  // namespace
