// The OMAP eMMC steps against a simulated download agent on a pseudo-terminal: what the phone
// receives, and the status lines and progress codes the window is told, in order.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "flash/ap_factory_headers.h"
#include "sim/builders/ap_builders.h"
#include "sim/omap_agent.h"
#include "support/chip_phone_fixture.h"
#include "support/message_boxes.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::OmapAgent;
using phonesim::builders::ImageBuffer;
using phonesim::builders::OmapFactoryBuilder;
using phonesim::builders::Pattern;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr uint32_t kTimeout = 300;
constexpr uint32_t kBlock = 524288;
constexpr uint64_t kMiB = 1u << 20;

uint32_t Field(const Bytes& body, size_t offset) { return bytes::LoadLe32(body.data() + offset); }

using testing_support::MessageBoxes;

class OmapSteps : public ::testing::Test, protected testing_support::ChipPhoneFixture<OmapAgent> {
 protected:
  template <typename Fn>
  auto Agent(Fn fn) {
    return WithChip(fn);
  }
  std::vector<OmapAgent::Partition> Partitions() {
    return Agent([](OmapAgent& a) { return a.Partitions(); });
  }
  // The bytes the agent took for the i-th announced partition (none when there is no such one).
  Bytes PartitionData(size_t i) {
    return Agent(
        [i](OmapAgent& a) { return i < a.Partitions().size() ? a.Partitions()[i].data : Bytes{}; });
  }
  void Start() {
    ASSERT_EQ(flash.OMAPFlashStart(&link), 1);
    window.Clear();
  }

  testing_support::TempDir dir;
};

// --- flash start and erase -----------------------------------------------------------------

TEST_F(OmapSteps, FlashStartIsOneSilentCommand) {
  EXPECT_EQ(flash.OMAPFlashStart(&link), 1);
  EXPECT_TRUE(window.Messages().empty());
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, Bytes({0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Agent([](OmapAgent& a) { return a.Starts(); }), 1);
}

TEST_F(OmapSteps, FlashStartFailures) {
  struct Case {
    FaultKind fault;
    Lines events;
  };
  const Case cases[] = {
      {FaultKind::kRefuse, {"Response is NAK", "error!", "[200]"}},
      {FaultKind::kSilent, {"Timeout error is occured", "error!", "[200]"}},
      // A corrupt answer may have been a refusal: it is no acknowledgement.
      {FaultKind::kBadCheck, {"Response is not ACK", "error!", "[200]"}},
  };
  for (const Case& c : cases) {
    window.Clear();
    Inject(c.fault, 0x01);
    EXPECT_EQ(flash.OMAPFlashStart(&link), 0);
    EXPECT_EQ(window.Events(), c.events);
  }
}

TEST_F(OmapSteps, EraseSendsStartAndLengthInALongHeader) {
  Start();
  EXPECT_EQ(flash.OMAPErasePart(0x12345678, 0x0ABCDEF0, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Success to erase", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  ASSERT_EQ(requests[1].body.size(), 16u);
  EXPECT_EQ(requests[1].body[0], 0x04);
  EXPECT_EQ(Field(requests[1].body, 4), 0x12345678u);
  EXPECT_EQ(Field(requests[1].body, 8), 0x0ABCDEF0u);
  const auto erases = Agent([](OmapAgent& a) { return a.Erases(); });
  ASSERT_EQ(erases.size(), 1u);
  EXPECT_EQ(erases[0].start, 0x12345678u);
}

TEST_F(OmapSteps, EraseRefusedBeforeTheStartFails) {
  EXPECT_EQ(flash.OMAPErasePart(0, 512, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Response is NAK", "error!", "[200]"}));
}

// --- a partition from memory -----------------------------------------------------------------

TEST_F(OmapSteps, NormalDownloadPadsTheLastBlockToWholeSectorsWithZeros) {
  Start();
  const Bytes data = Pattern(1000, 1);
  const Bytes image = ImageBuffer(data);
  EXPECT_EQ(flash.OMAPNormalDownload(image.data(), 70, 4096, 1000, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x01, 0x06, 0x02}));
  EXPECT_EQ(requests[1].body.size(), 14u);
  EXPECT_EQ(requests[1].body[1], 70);
  EXPECT_EQ(Field(requests[1].body, 2), 4096u);
  EXPECT_EQ(Field(requests[1].body, 6), 1000u);
  ASSERT_EQ(requests[2].body.size(), 16u);
  EXPECT_EQ(requests[2].body[1], 70);
  EXPECT_EQ(Field(requests[2].body, 8), 1024u);
  EXPECT_EQ(requests[2].payloadLength, 1024u);
  Bytes expected = data;
  expected.resize(1024, 0);
  const auto partitions = Partitions();
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0].data, expected);
  EXPECT_EQ(Agent([](OmapAgent& a) { return a.Emmc().Read(4096, 1024); }), expected);
}

TEST_F(OmapSteps, NormalDownloadSendsWholeBlocksThenTheRest) {
  Start();
  const Bytes data = Pattern(kBlock + 1536, 2);  // the tail is whole sectors: no padding
  EXPECT_EQ(flash.OMAPNormalDownload(ImageBuffer(data).data(), 1, 0, kBlock + 1536, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[99]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x01, 0x06, 0x02, 0x02}));
  EXPECT_EQ(Field(requests[2].body, 8), kBlock);
  EXPECT_EQ(Field(requests[3].body, 8), 1536u);
  EXPECT_EQ(PartitionData(0), data);
}

TEST_F(OmapSteps, NormalDownloadOfNothingAnnouncesOnly) {
  Start();
  EXPECT_EQ(flash.OMAPNormalDownload(ImageBuffer({}).data(), 1, 0, 0, &link), 1);
  EXPECT_EQ(window.Events(), Lines{"[0]"});
  EXPECT_EQ(Commands(), Bytes({0x01, 0x06}));
}

TEST_F(OmapSteps, NormalDownloadFailures) {
  Start();
  const Bytes image = ImageBuffer(Pattern(kBlock + 10, 3));
  Inject(FaultKind::kRefuse, 0x06);
  EXPECT_EQ(flash.OMAPNormalDownload(image.data(), 1, 0, kBlock + 10, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Response is NAK", "error!", "[200]"}));
  EXPECT_EQ(Commands(), Bytes({0x01, 0x06}));

  window.Clear();
  Inject(FaultKind::kSilent, 0x02, 1);  // the second block goes unanswered
  EXPECT_EQ(flash.OMAPNormalDownload(image.data(), 1, 0, kBlock + 10, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[99]", "Timeout error is occured", "error!", "[200]"}));
  const auto partitions = Partitions();
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0].received, kBlock);  // the first block stays written

  window.Clear();
  EXPECT_EQ(flash.OMAPNormalDownload(nullptr, 1, 0, 0, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"There is no image to download", "[200]"}));
}

// --- a partition from a file ------------------------------------------------------------------

TEST_F(OmapSteps, FileBaseDownloadStreamsTheFileAndPadsItsTail) {
  Start();
  const Bytes data = Pattern(kBlock + 75712, 4);
  const std::string path = dir / "boot.img";
  ASSERT_TRUE(phonesim::builders::WriteFile(path, data));
  EXPECT_EQ(flash.OMAPFileBaseDownload(path.c_str(), 70, 8192, 600064, &link), 1);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "[87]", "[100]"}));
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x01, 0x06, 0x02, 0x02}));
  EXPECT_EQ(Field(requests[1].body, 2), 8192u);
  EXPECT_EQ(Field(requests[1].body, 6), 600064u);
  EXPECT_EQ(Field(requests[2].body, 8), kBlock);
  EXPECT_EQ(Field(requests[3].body, 8), 75776u);  // 75712 rounded up to whole sectors
  Bytes expected = data;
  expected.resize(kBlock + 75776, 0);
  EXPECT_EQ(PartitionData(0), expected);
}

TEST_F(OmapSteps, FileBaseDownloadOfAnEmptyFileAnnouncesOnly) {
  Start();
  const std::string path = dir / "empty.img";
  ASSERT_TRUE(phonesim::builders::WriteFile(path, {}));
  EXPECT_EQ(flash.OMAPFileBaseDownload(path.c_str(), 70, 0, 0, &link), 1);
  EXPECT_EQ(window.Events(), Lines{"[0]"});
  EXPECT_EQ(Commands(), Bytes({0x01, 0x06}));
}

TEST_F(OmapSteps, FileBaseDownloadOfAMissingFileSendsNothing) {
  Start();
  const std::string path = dir / "missing.img";
  EXPECT_EQ(flash.OMAPFileBaseDownload(path.c_str(), 70, 0, 1024, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "We can't open " + path, "[200]"}));
  EXPECT_EQ(Commands(), Bytes({0x01}));
}

TEST_F(OmapSteps, FileBaseDownloadWithARefusedBlockFails) {
  Start();
  const std::string path = dir / "boot.img";
  ASSERT_TRUE(phonesim::builders::WriteFile(path, Pattern(2048, 5)));
  Inject(FaultKind::kRefuse, 0x02);
  EXPECT_EQ(flash.OMAPFileBaseDownload(path.c_str(), 70, 0, 2048, &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"[0]", "Response is NAK", "error!", "[200]"}));
}

// --- the factory file --------------------------------------------------------------------------

class OmapFactory : public OmapSteps {
 protected:
  std::string Write(const OmapFactoryBuilder& b, const std::string& name = "emmc.bin") {
    const std::string path = dir / name;
    EXPECT_TRUE(b.WriteTo(path));
    return path;
  }

  MessageBoxes boxes;
};

TEST_F(OmapFactory, SectorTableErasesAnnouncesAndSendsEachPartition) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2048, .areaSize = 4096, .seed = 1})
      .Add({.imageSectors = 3, .areaSize = 100, .seed = 2});
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(),
            (Lines{"EMMC writing start", "[0]", "Success to erase", "[100]",
                   "Partition size is 1024 KBytes", "[0]", "[50]", "[100]", "[0]",
                   "Success to erase", "[100]", "Partition size is 1 KBytes", "[0]", "[100]"}));
  EXPECT_TRUE(boxes.Texts().empty());
  ASSERT_EQ(Commands(), Bytes({0x01, 0x04, 0x06, 0x02, 0x02, 0x04, 0x06, 0x02}));
  const auto requests = Requests();
  EXPECT_EQ(Field(requests[1].body, 4), 0u);
  EXPECT_EQ(Field(requests[1].body, 8), 4096u * 512);
  EXPECT_EQ(requests[2].body[1], 0);
  EXPECT_EQ(Field(requests[2].body, 6), 2048u * 512);
  EXPECT_EQ(Field(requests[5].body, 4), 4096u);  // the address advanced by the raw area size
  EXPECT_EQ(Field(requests[5].body, 8), 100u * 512);
  EXPECT_EQ(Field(requests[6].body, 2), 4096u);
  EXPECT_EQ(Field(requests[6].body, 6), 1536u);
  EXPECT_EQ(Field(requests[7].body, 8), 1536u);  // the last block is sent as it is
  const auto partitions = Partitions();
  ASSERT_EQ(partitions.size(), 2u);
  EXPECT_EQ(partitions[0].data, b.Image(0));
  EXPECT_EQ(partitions[1].data, b.Image(1));
}

TEST_F(OmapFactory, AreasAboveTheLimitAreBytesAndSizesGoAsTheyStand) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 4, .areaSize = 3825000, .seed = 3})
      .Add({.imageSectors = 1, .areaSize = 765, .seed = 4});
  sim.phone->WithPersonality([this](phonesim::Personality&) { sim.chip->SetSizeUnit(512); });
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 1);
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x01, 0x04, 0x06, 0x02, 0x04, 0x06, 0x02}));
  EXPECT_EQ(Field(requests[1].body, 8), 3825000u);
  EXPECT_EQ(Field(requests[2].body, 6), 4u);
  EXPECT_EQ(Field(requests[3].body, 8), 2048u);  // data are always sectors x 512
  EXPECT_EQ(Field(requests[4].body, 4), 3825000u);
  EXPECT_EQ(Field(requests[4].body, 8), 765u);
  EXPECT_EQ(Field(requests[5].body, 6), 1u);
  EXPECT_EQ(PartitionData(0), b.Image(0));
  EXPECT_EQ(PartitionData(1), b.Image(1));
  EXPECT_EQ(Agent([](OmapAgent& a) { return a.Emmc().Read(3825000, 512); }), b.Image(1));
}

TEST_F(OmapFactory, AreasAddingUpToTheLimitAreSectors) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 1, .areaSize = 3825000}).Add({.imageSectors = 1, .areaSize = 764});
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 1);
  const auto requests = Requests();
  ASSERT_EQ(Commands(), Bytes({0x01, 0x04, 0x06, 0x02, 0x04, 0x06, 0x02}));
  EXPECT_EQ(Field(requests[1].body, 8), 3825000u * 512);
  EXPECT_EQ(Field(requests[2].body, 6), 512u);
  EXPECT_EQ(Field(requests[4].body, 8), 764u * 512);
}

TEST_F(OmapFactory, FirstEntryEndingTheListSendsNothingAfterTheStart) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 3, .areaSize = 8, .endMarker = 0xFFFFFFFF}).Add({.imageSectors = 3});
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 1);
  EXPECT_EQ(window.Events(), Lines{"EMMC writing start"});
  EXPECT_EQ(Commands(), Bytes({0x01}));
}

TEST_F(OmapFactory, EmptyImageIsAnnouncedWithoutEraseOrDataAndTheAddressStillAdvances) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 0, .areaSize = 100}).Add({.imageSectors = 2, .areaSize = 50, .seed = 6});
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 1);
  ASSERT_EQ(Commands(), Bytes({0x01, 0x06, 0x04, 0x06, 0x02}));
  const auto requests = Requests();
  EXPECT_EQ(Field(requests[1].body, 2), 0u);
  EXPECT_EQ(Field(requests[1].body, 6), 0u);
  EXPECT_EQ(Field(requests[2].body, 4), 100u);
  EXPECT_EQ(Field(requests[3].body, 2), 100u);
  const Lines events = window.Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(Lines(events.begin(), events.begin() + 3),
            (Lines{"EMMC writing start", "Partition size is 0 KBytes", "[0]"}));
  EXPECT_EQ(PartitionData(1), b.Image(1));
}

TEST_F(OmapFactory, HugePartitionShowsMegabytesBeforeItsAnnouncementIsRefused) {
  // A sparse file: the table promises 4000000 sectors, which the file holds without them
  // ever being read, since the agent refuses the announcement.
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 4000000, .areaSize = 4000000}).CutAt(kMiB);
  const std::string path = Write(b);
  std::filesystem::resize_file(path, kMiB + uint64_t{4000000} * 512);
  Inject(FaultKind::kRefuse, 0x06);
  EXPECT_EQ(flash.OMAPFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"EMMC writing start", "[0]", "Success to erase", "[100]",
                   "Partition size is 1953 MBytes", "[0]", "Response is NAK", "error!", "[200]"}));
}

TEST_F(OmapFactory, FailedBlockStopsTheDownloadAndKeepsEarlierPartitions) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2, .areaSize = 8, .seed = 1}).Add({.imageSectors = 2, .areaSize = 8});
  Inject(FaultKind::kRefuse, 0x02, 1);
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 0);
  const Lines events = window.Events();
  EXPECT_EQ(Lines(events.end() - 3, events.end()), (Lines{"Response is NAK", "error!", "[200]"}));
  EXPECT_EQ(PartitionData(0), b.Image(0));
}

TEST_F(OmapFactory, FailedStartOrEraseEndsTheDownload) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2, .areaSize = 8});
  const std::string path = Write(b);
  Inject(FaultKind::kRefuse, 0x01);
  EXPECT_EQ(flash.OMAPFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"Response is NAK", "error!", "[200]"}));
  window.Clear();
  Inject(FaultKind::kRefuse, 0x04);
  EXPECT_EQ(flash.OMAPFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(),
            (Lines{"EMMC writing start", "[0]", "Response is NAK", "error!", "[200]"}));
  EXPECT_EQ(Commands(), Bytes({0x01, 0x01, 0x04}));
}

TEST_F(OmapFactory, WrongMagicIsAMessageBoxAndNothingIsSent) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2, .areaSize = 8}).Magic(0xA5A555AA);
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(b).c_str(), &link), 0);
  EXPECT_EQ(boxes.Texts(), Lines{"Magic number does not concide"});
  EXPECT_EQ(window.Events(), Lines{"[200]"});
  EXPECT_TRUE(Requests().empty());
}

TEST_F(OmapFactory, HeaderCutShortIsAMessageBoxAndNothingIsSent) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2, .areaSize = 8});
  for (uint64_t size : {uint64_t{2}, uint64_t{100}, uint64_t{ap_factory::kOmapHeaderSize - 1}}) {
    const std::string path = Write(OmapFactoryBuilder(b).CutAt(size), "cut.bin");
    MessageBoxes local;
    window.Clear();
    EXPECT_EQ(flash.OMAPFactoryDownload(path.c_str(), &link), 0) << size;
    // Two bytes cannot even hold the magic number.
    EXPECT_EQ(local.Texts(),
              Lines{size < 4 ? "Magic number does not concide" : "We can't read binary!"})
        << size;
    EXPECT_EQ(window.Events(), Lines{"[200]"});
  }
  EXPECT_TRUE(Requests().empty());
}

TEST_F(OmapFactory, TableThatRunsPastTheEndOfTheFileIsRefusedBeforeAnythingIsSent) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 2, .areaSize = 8}).Add({.imageSectors = 700, .areaSize = 800});
  EXPECT_EQ(
      flash.OMAPFactoryDownload(Write(OmapFactoryBuilder(b).CutAt(b.Size() - 1)).c_str(), &link),
      0);
  EXPECT_EQ(window.Events(), (Lines{"Partition 1 runs past the end of the file", "[200]"}));
  window.Clear();
  EXPECT_EQ(flash.OMAPFactoryDownload(Write(OmapFactoryBuilder(b).CutAt(9000)).c_str(), &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"Partition 0 runs past the end of the file", "[200]"}));
  EXPECT_TRUE(Requests().empty());
}

TEST_F(OmapFactory, MissingFileFailsWithALine) {
  const std::string path = dir / "missing.bin";
  EXPECT_EQ(flash.OMAPFactoryDownload(path.c_str(), &link), 0);
  EXPECT_EQ(window.Events(), (Lines{"We can't open " + path, "[200]"}));
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(Requests().empty());
}

}  // namespace
