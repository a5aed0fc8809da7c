// The NVIDIA steps against a simulated boot loader on a pseudo-terminal: what the phone
// receives, and the status lines and progress codes the window is told, in order.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/notify.h"
#include "sim/builders/ap_builders.h"
#include "sim/nvidia_loader.h"
#include "support/chip_phone_fixture.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::NvidiaLoader;
using phonesim::builders::ImageBuffer;
using phonesim::builders::NvidiaFactoryBuilder;
using phonesim::builders::Pattern;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr uint32_t kTimeout = 300;
constexpr uint32_t kBlock = 524288;
constexpr uint32_t kAbsent = NvidiaFactoryBuilder::kAbsent;

uint32_t Field(const Bytes& body, size_t offset) { return bytes::LoadLe32(body.data() + offset); }

class NvidiaSteps : public ::testing::Test,
                    protected testing_support::ChipPhoneFixture<NvidiaLoader> {
 protected:
  template <typename Fn>
  auto Loader(Fn fn) {
    return WithChip(fn);
  }
  // The bytes the loader stored for an image or file partition (none when there is no such one).
  Bytes ImageBytes(uint8_t id) {
    return Loader([id](NvidiaLoader& l) {
      const auto it = l.Images().find(id);
      return it != l.Images().end() ? it->second.Bytes() : Bytes{};
    });
  }
  Bytes FileBytes(size_t i) {
    return Loader([i](NvidiaLoader& l) {
      return i < l.FilePartitions().size() ? l.FilePartitions()[i].Bytes() : Bytes{};
    });
  }
  int StaleTails() {
    return Loader([](NvidiaLoader& l) {
      int n = 0;
      for (const auto& p : l.FilePartitions()) n += p.staleTails;
      return n;
    });
  }
  std::string Write(const NvidiaFactoryBuilder& b, const std::string& name = "ap.img") {
    const std::string path = dir / name;
    EXPECT_TRUE(b.WriteTo(path));
    return path;
  }

  testing_support::TempDir dir;
};

// --- boot configuration table ------------------------------------------------------------------

TEST_F(NvidiaSteps, BctSetupSelectsTheTable) {
  EXPECT_EQ(flash.BCTSetup(3, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[100]", "Bct Setup"}));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, Bytes({0x80, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Loader([](NvidiaLoader& l) { return l.BctSelector(); }), 3);
}

TEST_F(NvidiaSteps, BctSetupRefused) {
  Inject(FaultKind::kRefuse, 0x80);
  EXPECT_EQ(flash.BCTSetup(3, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Response is NAK", "Error", "[200]"}));
}

TEST_F(NvidiaSteps, BctDownloadSendsTheTableWithItsParameter) {
  ASSERT_EQ(flash.BCTSetup(3, &link), 1);
  window.Clear();
  const Bytes table = Pattern(10240, 7);  // the largest table there is
  EXPECT_EQ(flash.BCTDownload(ImageBuffer(table).data(), 3, &link, 0x01020304), 1);
  EXPECT_EQ(window.Events(), (Lines{"BCT Writing start", "[0]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].body[0], 0x81);
  EXPECT_EQ(requests[1].body[1], 3);
  EXPECT_EQ(Field(requests[1].body, 2), 0x01020304u);
  EXPECT_EQ(Field(requests[1].body, 6), 10240u);
  EXPECT_EQ(requests[1].payloadLength, 10240u);
  EXPECT_EQ(Loader([](NvidiaLoader& l) { return l.Bct(); }), table);
  EXPECT_EQ(Loader([](NvidiaLoader& l) { return l.BctParameter(); }), 0x01020304u);
}

TEST_F(NvidiaSteps, BctDownloadFailures) {
  EXPECT_EQ(flash.BCTDownload(ImageBuffer(Bytes(10241)).data(), 3, &link, 0), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"BCT Writing start", "[0]", "The BCT is larger than 10240 bytes", "[200]"}));
  EXPECT_TRUE(Requests().empty());

  window.Clear();  // the loader takes no table before its set-up
  EXPECT_EQ(flash.BCTDownload(ImageBuffer(Bytes(100)).data(), 3, &link, 0), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"BCT Writing start", "[0]", "Response is NAK", "error!", "[200]"}));

  window.Clear();
  EXPECT_EQ(flash.BCTDownload(nullptr, 3, &link, 0), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"BCT Writing start", "[0]", "There is no BCT to download", "[200]"}));
}

// --- partition images from memory ---------------------------------------------------------------

TEST_F(NvidiaSteps, ImageOfExactlyOneBlockGoesInOneBlock) {
  const Bytes data = Pattern(kBlock, 1);
  EXPECT_EQ(flash.NormalDownload(ImageBuffer(data).data(), 9, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x88, 0x87}));
  EXPECT_EQ(requests[0].body[1], 9);
  EXPECT_EQ(Field(requests[0].body, 2), kBlock);
  EXPECT_EQ(Field(requests[0].body, 6), 0u);
  EXPECT_EQ(requests[1].body[1], 9);
  EXPECT_EQ(Field(requests[1].body, 6), kBlock);
  EXPECT_EQ(ImageBytes(9), data);
}

TEST_F(NvidiaSteps, ImageLongerThanABlockEndsWithItsExactRest) {
  const Bytes data = Pattern(kBlock + 1000, 2);
  EXPECT_EQ(flash.NormalDownload(ImageBuffer(data).data(), 1, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[99]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x88, 0x87, 0x87}));
  EXPECT_EQ(Field(requests[2].body, 6), 1000u);
  EXPECT_EQ(requests[2].payloadLength, 1000u);
  EXPECT_EQ(ImageBytes(1), data);
}

TEST_F(NvidiaSteps, EmptyImageSendsOnlyItsStart) {
  EXPECT_EQ(flash.NormalDownload(ImageBuffer({}).data(), 1, &link), 1);
  EXPECT_EQ(window.Events(), Lines{"[0]"});
  EXPECT_EQ(Commands(), Bytes({0x88}));
}

TEST_F(NvidiaSteps, ImageFailures) {
  const Bytes image = ImageBuffer(Pattern(kBlock + 1, 3));
  Inject(FaultKind::kRefuse, 0x88);
  EXPECT_EQ(flash.NormalDownload(image.data(), 1, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Response is NAK", "error!", "[200]"}));
  EXPECT_EQ(Commands(), Bytes({0x88}));

  window.Clear();
  Inject(FaultKind::kSilent, 0x87, 1);
  EXPECT_EQ(flash.NormalDownload(image.data(), 1, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[99]", "Timeout error is occured", "error!", "[200]"}));

  window.Clear();
  EXPECT_EQ(flash.NormalDownload(nullptr, 1, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"There is no image to download", "[200]"}));
}

// --- the factory file ---------------------------------------------------------------------------

TEST_F(NvidiaSteps, FirstEntryAbsentSendsNothing) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = kAbsent}).Add({.sectors = 3});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(), Lines{"Num of partitions are 1"});
  EXPECT_TRUE(Requests().empty());

  window.Clear();
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(NvidiaFactoryBuilder()).c_str(), &link), 1);
  EXPECT_EQ(window.Events(), Lines{"Num of partitions are 0"});
  EXPECT_TRUE(Requests().empty());
}

TEST_F(NvidiaSteps, ThreeSectorPartitionIsOneBlockWithAnErasedTail) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3, .advance = 8, .seed = 4});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 1", "[0]", "[100]", "Partition download complete."}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x8A, 0x8B}));
  EXPECT_EQ(Field(requests[0].body, 2), 1536u);
  EXPECT_EQ(Field(requests[0].body, 6), 0u);
  EXPECT_EQ(Field(requests[0].body, 10), 0u);
  EXPECT_EQ(Field(requests[1].body, 2), 1536u);
  EXPECT_EQ(requests[1].payloadLength, kBlock);
  EXPECT_EQ(FileBytes(0), b.Image(0));
  EXPECT_EQ(StaleTails(), 0);
}

TEST_F(NvidiaSteps, PartitionsFollowEachOtherWithTheirSectorPositions) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 1100, .advance = 4096, .firstWord = 0xAB, .seed = 1})
      .Add({.sectors = 8, .advance = 18, .seed = 2})
      .Add({.sectors = 3, .seed = 3});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 3", "[0]", "[93]", "[100]",
                   "Partition download complete.", "[0]", "[100]", "Partition download complete.",
                   "[0]", "[100]", "Partition download complete."}));
  ASSERT_EQ(Commands(), Bytes({0x8A, 0x8B, 0x8B, 0x8A, 0x8B, 0x8A, 0x8B}));
  const auto requests = Requests();
  EXPECT_EQ(Field(requests[0].body, 2), 563200u);
  EXPECT_EQ(Field(requests[0].body, 10), 275u);
  EXPECT_EQ(Field(requests[1].body, 2), kBlock);
  EXPECT_EQ(Field(requests[2].body, 2), 38912u);
  EXPECT_EQ(Field(requests[3].body, 6), 1024u);
  EXPECT_EQ(Field(requests[3].body, 10), 2u);
  EXPECT_EQ(Field(requests[5].body, 6), 1028u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(FileBytes(i), b.Image(i)) << i;
  // Each short chunk follows a longer one: none may carry the earlier chunk's bytes.
  EXPECT_EQ(StaleTails(), 0);
  EXPECT_EQ(flash.m_Nvidia.partTable[0].firstWord, 0xABu);
  EXPECT_EQ(flash.m_Nvidia.partTable[0].sectors, 1100u);
  EXPECT_EQ(flash.m_Nvidia.partTable[0].advance, 4096u);
  EXPECT_EQ(flash.m_Nvidia.partTable[2].present, 1);
  EXPECT_EQ(flash.m_Nvidia.partTable[3].present, 0);
  EXPECT_EQ(flash.m_Nvidia.partTable[3].sectors, kAbsent);
}

TEST_F(NvidiaSteps, DownloadStopsAtTheFirstAbsentEntryButCountsThemAll) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3, .seed = 1}).Add({.sectors = kAbsent}).Add({.sectors = 2, .seed = 2});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 2", "[0]", "[100]", "Partition download complete."}));
  EXPECT_EQ(Commands(), Bytes({0x8A, 0x8B}));
}

TEST_F(NvidiaSteps, WrongMagicAndUnreadableFilesFailAtTheMagicNumber) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3});
  const std::string wrong = Write(NvidiaFactoryBuilder(b).Magic({0xEC, 0x44, 0xA5, 0xA5}));
  for (const std::string& path : {wrong, dir / "missing.img", dir.Path().string()}) {
    window.Clear();
    EXPECT_EQ(flash.nVidiaFactoryDownload(path.c_str(), &link), 0) << path;
    EXPECT_EQ(window.Events(), (Lines{"We can't read magic number", "[200]"})) << path;
  }
  EXPECT_TRUE(Requests().empty());
}

TEST_F(NvidiaSteps, ShortTablesAndRecordsFailBeforeAnythingIsSent) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(NvidiaFactoryBuilder(b).CutAt(259)).c_str(), &link),
            0);
  EXPECT_EQ(window.Events(), (Lines{"We can't read partition information", "[200]"}));
  window.Clear();
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(NvidiaFactoryBuilder(b).CutAt(16895)).c_str(), &link),
            0);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 1", "We can't read partition information", "[200]"}));
  EXPECT_TRUE(Requests().empty());
}

TEST_F(NvidiaSteps, TableThatRunsPastTheEndOfTheFileIsRefusedBeforeAnythingIsSent) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3}).Add({.sectors = 1000});
  EXPECT_EQ(flash.nVidiaFactoryDownload(Write(NvidiaFactoryBuilder(b).CutAt(b.Size() - 1)).c_str(),
                                        &link),
            0);
  EXPECT_EQ(window.Events(), (Lines{"Num of partitions are 2",
                                    "Partition 1 runs past the end of the file", "[200]"}));
  EXPECT_TRUE(Requests().empty());
}

TEST_F(NvidiaSteps, RefusedStartOrBlockFailsAndKeepsEarlierPartitions) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3, .seed = 1}).Add({.sectors = 3, .seed = 2});
  const std::string path = Write(b);
  Inject(FaultKind::kRefuse, 0x8A);
  EXPECT_EQ(flash.nVidiaFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 2", "[0]", "Response is NAK", "error!", "[200]"}));
  window.Clear();
  Inject(FaultKind::kRefuse, 0x8B, 1);
  EXPECT_EQ(flash.nVidiaFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"Num of partitions are 2", "[0]", "[100]", "Partition download complete.", "[0]",
                   "Response is NAK", "error!", "[200]"}));
  EXPECT_EQ(FileBytes(0), b.Image(0));
}

TEST_F(NvidiaSteps, EachDownloadStartsFromAClearedTable) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3, .advance = 8, .firstWord = 1});
  ASSERT_EQ(flash.nVidiaFactoryDownload(Write(b).c_str(), &link), 1);
  ASSERT_EQ(flash.m_Nvidia.partTable[0].present, 1);
  EXPECT_EQ(flash.nVidiaFactoryDownload((dir / "missing.img").c_str(), &link), 0);
  for (const nv_partition_t& e : flash.m_Nvidia.partTable) {
    EXPECT_EQ(e.firstWord, 0u);
    EXPECT_EQ(e.sectors, 0u);
    EXPECT_EQ(e.advance, 0u);
    EXPECT_EQ(e.present, 0);
  }
}

}  // namespace
