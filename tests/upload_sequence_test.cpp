// Upload end to end: model.so loaded by path, DoUploadStart bound by name, a simulated phone whose
// boot loader reads its memory back, and the output file compared with that memory.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/misc_util_comm.h"
#include "sim/builders/ap_builders.h"
#include "sim/memory_reader.h"
#include "sim/phone.h"
#include "support/message_boxes.h"
#include "support/plugin.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "support/time_scale.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::MemoryReader;
using Setups = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr uint32_t kSeed = 77;
constexpr uint32_t kTimeout = 4000;
constexpr uint32_t kAddress = 0x80001000;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Upload : public ::testing::Test {
 protected:
  Upload() : sim(phonesim::builders::MakeChipPhone<MemoryReader>(kSeed)) {}
  ~Upload() override { sim.phone->Stop(); }

  int Run(uint32_t sectors, const std::string& path, uint32_t address = kAddress) {
    return plugin.DoUploadStart(&window, sim.phone->PortNumber(), &path, sectors, address,
                                kTimeout);
  }
  template <typename Fn>
  void Inspect(Fn fn) {
    sim.phone->WithPersonality([&](phonesim::Personality&) { fn(*sim.chip); });
  }
  std::vector<uint32_t> BlockRequests() {
    std::vector<uint32_t> out;
    Inspect([&](const MemoryReader& m) { out = m.BlockRequests(); });
    return out;
  }
  Setups SetupRequests() {
    Setups out;
    Inspect([&](const MemoryReader& m) { out = m.Setups(); });
    return out;
  }

  // The 100 ms and 150 ms pauses of the read-back take 25 and 37 ms: room for a loaded machine.
  testing_support::ScopedTimeScale fast{0.25};
  testing_support::TempDir dir;
  testing_support::Plugin plugin;
  testing_support::RecordingWindow window;
  phonesim::builders::ChipPhone<MemoryReader> sim;
  testing_support::MessageBoxes boxes;
};

TEST_F(Upload, OneWholeBlockIsFollowedByAReadOfNothing) {
  const std::string out = dir / "memory.bin";
  ASSERT_EQ(Run(128, out), 1);
  EXPECT_EQ(ReadFile(out), MemoryReader::Contents(kSeed, kAddress, 128 * 512));
  EXPECT_EQ(SetupRequests(), (Setups{{kAddress, 128}}));
  EXPECT_EQ(BlockRequests(), (std::vector<uint32_t>{65536, 0}));
  EXPECT_EQ(window.Log(), (Lines{"Upload Start...", "#0", "Upload file is creating...", "#100",
                                 "#100", "Upload complete", "#400"}));
  EXPECT_EQ(boxes.Texts(), Lines{"Done!"});
}

TEST_F(Upload, PartBlockEndsTheRange) {
  const std::string out = dir / "memory.bin";
  ASSERT_EQ(Run(200, out), 1);
  EXPECT_EQ(ReadFile(out), MemoryReader::Contents(kSeed, kAddress, 200 * 512));
  EXPECT_EQ(BlockRequests(), (std::vector<uint32_t>{65536, 36864}));
  EXPECT_EQ(window.Codes(), (std::vector<platform::LPARAM>{0, 64, 100, 400}));
  EXPECT_EQ(window.StepEnds(), Lines{"7 0 memory.bin 102400/102400 ok"});
  EXPECT_EQ(boxes.Texts(), Lines{"Done!"});
}

TEST_F(Upload, NothingToReadStillSetsUpAndReadsOnce) {
  const std::string out = dir / "empty.bin";
  {
    std::ofstream old(out);
    old << "an earlier upload";
  }
  ASSERT_EQ(Run(0, out), 1);
  EXPECT_TRUE(ReadFile(out).empty());  // truncated
  EXPECT_EQ(SetupRequests(), (Setups{{kAddress, 0}}));
  EXPECT_EQ(BlockRequests(), std::vector<uint32_t>{0});
  EXPECT_EQ(window.Codes(), (std::vector<platform::LPARAM>{0, 100, 400}));
}

TEST_F(Upload, PhoneThatStopsInTheMiddleOfABlockFails) {
  Inspect([](MemoryReader& m) { m.StopAfter(65536 + 10000); });
  const std::string out = dir / "memory.bin";
  EXPECT_EQ(Run(300, out), 0);
  // A part of the memory is no read-back: no output file, and nothing left beside it.
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  EXPECT_EQ(BlockRequests(), (std::vector<uint32_t>{65536, 65536}));
  const Lines log = window.Log();
  EXPECT_EQ(Lines(log.end() - 3, log.end()), (Lines{"#42", "error!", "#200"}));
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Upload, LastBlockOneByteShortFailsToo) {
  Inspect([](MemoryReader& m) { m.StopAfter(10 * 512 - 1); });
  EXPECT_EQ(Run(10, dir / "memory.bin"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "memory.bin"));
  EXPECT_EQ(window.Codes(), (std::vector<platform::LPARAM>{0, 200}));
}

TEST_F(Upload, OutputInAMissingDirectoryIsRefusedWithItsPath) {
  const std::string out = dir / "missing/memory.bin";
  EXPECT_EQ(Run(128, out), 0);
  EXPECT_EQ(window.Log(), (Lines{"Upload Start...", "#0", "Upload file is creating...", "#200",
                                 "We can't make specific file" + out}));
  EXPECT_TRUE(SetupRequests().empty());
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Upload, RefusedSetUpFailsBeforeAnyBlock) {
  sim.phone->InjectFault(Fault{.kind = FaultKind::kRefuse, .command = MemoryReader::kReadSetup});
  const std::string out = dir / "memory.bin";
  EXPECT_EQ(Run(128, out), 0);
  EXPECT_EQ(window.Log(), (Lines{"Upload Start...", "#0", "Upload file is creating...",
                                 "Response is NAK", "error!", "#200"}));
  EXPECT_TRUE(BlockRequests().empty());
  EXPECT_TRUE(ReadFile(out).empty());
}

// The memory replaces the output file only once all of it arrived: a failed read-back leaves
// the file that was there, and nothing beside it.
TEST_F(Upload, AFailedReadBackKeepsTheFileThatWasThere) {
  const std::string out = dir / "memory.bin";
  std::ofstream(out) << "kept";
  sim.phone->InjectFault(Fault{.kind = FaultKind::kSilent, .command = MemoryReader::kReadSetup});
  EXPECT_EQ(Run(128, out), 0);
  const Bytes kept = ReadFile(out);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  ASSERT_EQ(Run(128, out), 1);  // and a good one replaces it
  EXPECT_EQ(ReadFile(out), MemoryReader::Contents(kSeed, kAddress, 128 * 512));
}

TEST_F(Upload, CorruptSetUpAnswerCountsAsFailure) {
  sim.phone->InjectFault(Fault{.kind = FaultKind::kBadCheck, .command = MemoryReader::kReadSetup});
  EXPECT_EQ(Run(128, dir / "memory.bin"), 0);
  EXPECT_EQ(window.Texts().back(), "error!");
  EXPECT_EQ(window.Codes().back(), notify::kProgressFailed);
  EXPECT_TRUE(BlockRequests().empty());
}

TEST_F(Upload, FileThatCannotBeWrittenIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(Run(1, "/dev/full"), 0);
  EXPECT_EQ(window.Texts().back(), "error!");
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Upload, PortThatCannotBeOpenedOrNoWindow) {
  const std::string out = dir / "memory.bin";
  EXPECT_EQ(plugin.DoUploadStart(&window, 254, &out, 1, 0, kTimeout), 0);
  EXPECT_EQ(window.Log(),
            (Lines{"Upload Start...", "#0", "#200", "We can't communicate with specific port"}));
  EXPECT_EQ(plugin.DoUploadStart(nullptr, sim.phone->PortNumber(), &out, 1, 0, kTimeout), 0);
  EXPECT_EQ(boxes.Texts(), Lines{"We can't find program!"});
  EXPECT_TRUE(SetupRequests().empty());
  EXPECT_FALSE(std::filesystem::exists(out));
}

// The simulated loader itself: nothing before a set-up, nothing past the range it set up.
TEST_F(Upload, SimulatedLoaderKeepsToTheRangeItWasGiven) {
  CMiscUtilComm link;
  ASSERT_TRUE(link.SetComPort(sim.phone->PortNumber()));
  Bytes buffer(2048, 0);
  Bytes block(14, 0);
  block[0] = MemoryReader::kBlockRead;
  block[3] = 0x04;  // 1024 bytes
  EXPECT_EQ(link.AsyncRxFile(block.data(), nullptr, block.size(), buffer.data(), 1024, 0), kTxOk);
  EXPECT_EQ(link.LastRxFileCount(), 0u);

  Bytes setup(14, 0);
  setup[0] = MemoryReader::kReadSetup;
  setup[2] = 0x10;  // address 0x10, one sector
  setup[6] = 1;
  ASSERT_EQ(link.AsyncTxRxEx(setup.data(), nullptr, setup.size(), kTimeout), kTxOk);
  EXPECT_EQ(link.AsyncRxFile(block.data(), nullptr, block.size(), buffer.data(), 1024, 0), kTxOk);
  EXPECT_EQ(link.LastRxFileCount(), 512u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), MemoryReader::Contents(kSeed, 0x10, 512));
  link.Close();
}

}  // namespace
