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

TEST_F(MdmImage, FirstEntryEndingTheTableYieldsNoPartitions) {
  MdmImageBuilder b = ThreePartitions();
  b.EndMarkerAt(0);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(0).address, 0x8400000u);
  ExpectEmptyFrom(0);
  EXPECT_EQ(Slot(1).address, 0u);
  EXPECT_EQ(files.m_Partitions.HeldBytes(), 0u);
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

TEST_F(MdmImage, FileEndingInsidePartitionTwoKeepsItsWholePagesAsDataBytes) {
  MdmImageBuilder b;
  b.Add({"p0", 0, 1}).Add({"p1", 1, 1}).Add({"p2", 2, 1}).Add({"p3", 3, 1});
  const uint64_t cut = b.DataOffset(2) + 5 * mdm::kPageBytes + 100;  // 5 pages and a bit
  b.CutAt(cut);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(1).size, B);
  EXPECT_EQ(Slot(2).size, 5u * 2048);
  // The buffer holds the raw bytes as far as the file goes.
  EXPECT_EQ(Slot(2).data.size(), 5u * mdm::kPageBytes + 100);
  EXPECT_EQ(Slot(2).data, b.Data(2));
  EXPECT_EQ(Slot(3).address, 3 * B);
  EXPECT_EQ(Slot(3).size, 0u);
  EXPECT_TRUE(Slot(3).data.empty());
  EXPECT_EQ(Slot(4).address, 0x8400000u);
}

TEST_F(MdmImage, FileEndingWithinTheFirstPageOfAPartitionLeavesNothingToWrite) {
  MdmImageBuilder b;
  b.Add({"p0", 0, 1}).Add({"p1", 1, 1});
  b.CutAt(b.DataOffset(1) + mdm::kPageBytes - 1);
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(Slot(1).size, 0u);
  EXPECT_EQ(Slot(1).data.size(), mdm::kPageBytes - 1);
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
  for (uint32_t i = 0; i < 16; ++i) b.Add({"n" + std::to_string(i), i, 0});
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
  b.Add({longName, 0, 0}).Add({"second", 1, 0});
  ASSERT_EQ(Read(b), 1);
  EXPECT_EQ(files.m_Partitions.names[0], longName);
  EXPECT_EQ(files.m_Partitions.names[1], "second");
}

TEST_F(MdmImage, OffsetsPastTheEndReadNothingOutsideTheFile) {
  const uint64_t size = ThreePartitions().Size();
  MdmImageBuilder table = ThreePartitions();
  table.TableAt(0x7FFFFFF0).CutAt(size);  // beyond the file: the table reads as end markers
  ASSERT_EQ(Read(table), 1);
  EXPECT_EQ(Slot(0).address, 0x8400000u);
  ExpectEmptyFrom(0);

  MdmImageBuilder data = ThreePartitions();
  data.DataAt(0xFFFFFFF0).CutAt(size);  // no partition's data is in the file
  ASSERT_EQ(Read(data), 1);
  EXPECT_EQ(Slot(1).address, B);
  ExpectEmptyFrom(0);

  MdmImageBuilder far;
  far.Add({"here", 0, 1}).Add({"far", 30000, 2}).CutAt(0x64400 + B);
  ASSERT_EQ(Read(far), 1);
  EXPECT_EQ(Slot(0).size, B);
  EXPECT_EQ(Slot(1).address, 30000 * B);
  EXPECT_EQ(Slot(1).size, 0u);
  EXPECT_EQ(files.m_Partitions.HeldBytes(), B);
}

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
  EXPECT_EQ(Read(edge), 1);
  EXPECT_EQ(Slot(1).address, 31774u * B);
}

TEST_F(MdmImage, ShortHeaderFailsWithItsReason) {
  const Bytes shortFile(103, 0);
  mdm::MemorySource source(shortFile);
  EXPECT_EQ(files.ReadMDMImage(source), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#200", "MDM binary is shorter than its header"}));

  // A header alone is an image without partitions.
  window.Clear();
  Bytes header(104, 0);
  header[0] = 0x68;  // the table would lie right after it
  mdm::MemorySource headerOnly(header);
  EXPECT_EQ(files.ReadMDMImage(headerOnly), 1);
  EXPECT_EQ(Slot(0).address, 0x8400000u);
  EXPECT_EQ(files.m_Partitions.declaredNames, -1);
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
