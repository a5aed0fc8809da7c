// The model's NAND programming of the MDM image's partitions, against a simulated handset that is
// already in its download mode.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin/model_module.h"
#include "sim/builders/ap_builders.h"
#include "sim/builders/mdm_builders.h"
#include "sim/qualcomm_handset.h"
#include "support/discovery_sandbox.h"
#include "support/os_version.h"
#include "support/recording_window.h"
#include "support/time_scale.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::QualcommHandset;
using Mode = QualcommHandset::Mode;
using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

constexpr uint32_t B = mdm::kBlockBytes;
constexpr uint32_t kTimeout = 5000;
constexpr uint8_t kCommit = 0x41;

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Nand : public ::testing::Test {
 protected:
  Nand() {
    QualcommHandset::Options options;
    options.initialMode = Mode::kDload;
    handset = std::make_unique<QualcommHandset>(options);
    module.Flash()->SetParentHandle(&window);
    module.Flash()->SetDefaultTimeout(kTimeout);
    module.Link()->SetParentHandle(&window);
    module.Files()->SetParentHandle(&window);
  }
  ~Nand() override { module.Link()->Close(); }

  void SetUp() override {
    ASSERT_TRUE(handset->WaitForMode(Mode::kDload, 5000));
    ASSERT_TRUE(module.Link()->SetComPort(handset->CurrentPort()));
  }

  mdm::PartitionSet& Set() { return module.Files()->m_Partitions; }
  void Put(size_t slot, const std::string& name, uint32_t address, Bytes data) {
    Set().slots[slot].address = address;
    Set().slots[slot].size = static_cast<uint32_t>(data.size());
    Set().slots[slot].data = std::move(data);
    if (slot < mdm::kMaxNames) Set().names[slot] = name;
  }
  void EnableOnly(std::initializer_list<size_t> slots) {
    for (int& on : module.Flash()->m_bSlotEnable) on = 0;
    for (size_t s : slots) module.Flash()->m_bSlotEnable[s] = 1;
  }
  void Fail(FaultKind kind, int command, unsigned times = 1, unsigned skip = 0) {
    handset->InjectFault(Mode::kDload,
                         Fault{.kind = kind, .command = command, .skip = skip, .times = times});
  }
  QualcommHandset::DloadState State() const {
    QualcommHandset::DloadState copy;
    handset->Inspect(
        [&](const phonesim::FlashStore&, const QualcommHandset::DloadState& s) { copy = s; });
    return copy;
  }
  Bytes Stored(uint32_t address, size_t length) const {
    Bytes out;
    handset->Inspect([&](const phonesim::FlashStore& nand, const QualcommHandset::DloadState&) {
      out = nand.Read(address, length);
    });
    return out;
  }
  size_t Count(const std::string& line) const {
    const Lines log = window.Log();
    return static_cast<size_t>(std::count(log.begin(), log.end(), line));
  }
  // Every progress value before the verdict is a percentage.
  void ExpectPercentagesOnly() const {
    for (platform::LPARAM code : window.Codes()) {
      if (code != 200) {
        EXPECT_LE(code, 100);
      }
    }
  }

  // Real time: a data request gets no answer, and the phone has to take it within the link's
  // fixed 8 ms pause before the next request's purge drops what it has not read.
  testing_support::ScopedTimeScale realTime{1.0};
  testing_support::DiscoverySandbox sandbox;
  testing_support::RecordingWindow window;
  std::unique_ptr<QualcommHandset> handset;
  CModelModule module;
};

// One 20000-byte partition in slot 0 at block 2; slot 1 ends NAND.
class OnePartition : public Nand {
 protected:
  void SetUp() override {
    Nand::SetUp();
    Put(0, "modem", 2 * B, data);
    Set().slots[1].address = mdm::kNandEnd;
    EnableOnly({0});
  }
  const Bytes data = phonesim::builders::Pattern(20000, 7);
};

const Lines kEraseOfModem = {"Erase Partition: modem",
                             "Erase Address: 0x42000,  Size : 0x4e20",
                             "Erase Start...",
                             "#0",
                             "#100",
                             "Erase complete"};

TEST_F(OnePartition, IsWrittenInChunksOfFourPagesEachCommittedAtItsAddress) {
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  EXPECT_EQ(window.Log(), (kEraseOfModem + Lines{"NAND Flash Initialize", "#0", "#100",
                                                 "Start flash write", "#0", "#42", "#84", "#100",
                                                 "#100", "Finalize NAND Flash", "#0", "#100"}));
  const auto s = State();
  EXPECT_EQ(s.erases, (Pairs{{2, 1024}}));
  EXPECT_EQ(s.inits, std::vector<uint32_t>{2});
  EXPECT_EQ(s.chunks, (std::vector<size_t>{8448, 8448, 3104}));
  EXPECT_EQ(s.commits, (Pairs{{2 * B, 8448}, {2 * B + 8448, 8448}, {2 * B + 16896, 3104}}));
  EXPECT_EQ(s.finalizes, 1);
  EXPECT_EQ(Stored(2 * B, data.size() + 1), [&] {
    Bytes expected = data;
    expected.push_back(0xFF);
    return expected;
  }());
}

TEST_F(OnePartition, OlderSystemsSendKilobyteChunks) {
  testing_support::ScopedOsVersion old(4);
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  const auto s = State();
  std::vector<size_t> expected(19, 1024);
  expected.push_back(20000 - 19 * 1024);
  EXPECT_EQ(s.chunks, expected);
  EXPECT_EQ(s.commits.size(), 20u);
  EXPECT_EQ(s.commits.back(), std::make_pair(2 * B + 19 * 1024, 544u));
  EXPECT_EQ(Stored(2 * B, data.size()), data);
}

TEST_F(Nand, PartitionSmallerThanAChunkGoesAsOneChunkOfItsOwnSize) {
  const Bytes small = phonesim::builders::Pattern(5000, 3);
  Put(0, "small", B, small);
  Set().slots[1].address = 2 * B;
  EnableOnly({0});
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  const auto s = State();
  EXPECT_EQ(s.chunks, std::vector<size_t>{5000});
  EXPECT_EQ(s.commits, (Pairs{{B, 5000}}));
  EXPECT_EQ(s.erases, (Pairs{{1, 2}}));
  EXPECT_EQ(Stored(B, small.size()), small);
}

TEST_F(Nand, SlotsFourToSevenGoFirstAndSwitchedOffSlotsAreSkipped) {
  std::vector<Bytes> data;
  for (size_t slot = 0; slot < 8; ++slot) {
    data.push_back(phonesim::builders::Pattern(300 + slot, static_cast<uint32_t>(slot)));
    Put(slot, "s" + std::to_string(slot), static_cast<uint32_t>(slot + 1) * B, data.back());
  }
  Set().slots[8].address = mdm::kNandEnd;
  module.Flash()->m_bSlotEnable[1] = 0;
  module.Flash()->m_bSlotEnable[5] = 0;
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  Lines erased;
  for (const std::string& line : window.Texts()) {
    if (line.rfind("Erase Partition: ", 0) == 0) erased.push_back(line.substr(17));
  }
  EXPECT_EQ(erased, (Lines{"s4", "s6", "s7", "s0", "s2", "s3"}));
  EXPECT_EQ(State().erases, (Pairs{{5, 6}, {7, 8}, {8, 1024}, {1, 2}, {3, 4}, {4, 5}}));
  for (size_t slot = 0; slot < 8; ++slot) {
    const bool on = slot != 1 && slot != 5;
    const Bytes got = Stored(static_cast<uint32_t>(slot + 1) * B, data[slot].size());
    if (on) {
      EXPECT_EQ(got, data[slot]) << slot;
    } else {
      EXPECT_EQ(got, Bytes(data[slot].size(), 0xFF)) << slot;
    }
  }
}

TEST_F(Nand, SlotOfSizeZeroIsErasedButNeitherInitialisedNorWritten) {
  const Bytes after = phonesim::builders::Pattern(700, 9);
  Put(0, "empty", B, {});
  Put(1, "after", 3 * B, after);
  Set().slots[2].address = 4 * B;
  EnableOnly({0, 1});
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  const auto s = State();
  EXPECT_EQ(s.erases, (Pairs{{1, 3}, {3, 4}}));
  EXPECT_EQ(s.inits, std::vector<uint32_t>{3});
  EXPECT_EQ(s.chunks, std::vector<size_t>{700});
  const Lines log = window.Log();
  const Lines firstSlot(log.begin(), log.begin() + 6);
  EXPECT_EQ(firstSlot, (Lines{"Erase Partition: empty", "Erase Address: 0x21000,  Size : 0x0",
                              "Erase Start...", "#0", "#100", "Erase complete"}));
  EXPECT_EQ(log[6], "Erase Partition: after");
}

// An image of three partitions leaves the end of NAND in slot 3 and nothing in slots 4 to 7:
// their erase ranges are empty instead of running backwards from the end of NAND.
TEST_F(Nand, ImageWithFewerThanEightPartitionsErasesOnlyItsOwnRanges) {
  phonesim::builders::MdmImageBuilder b;
  b.Add({"sbl", 0, 1}).Add({"modem", 1, 2}).Add({"efs", 3, 1});
  b.CutAt(b.DataOffset(2) + 10 * mdm::kPageBytes + 5);
  const Bytes image = b.Build();
  mdm::MemorySource source(image);
  ASSERT_EQ(module.Files()->ReadMDMImage(source), 1);
  window.Clear();
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  const auto s = State();
  EXPECT_EQ(s.erases,
            (Pairs{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 3}, {3, 1024}, {1024, 1024}}));
  EXPECT_EQ(s.inits, (std::vector<uint32_t>{0, 1, 3}));
  EXPECT_EQ(Stored(0, B), b.Data(0));
  EXPECT_EQ(Stored(B, 2 * B), b.Data(1));
  // The cut partition writes its whole pages' worth of bytes, counted as data bytes.
  const Bytes cut = b.Data(2);
  EXPECT_EQ(Stored(3 * B, 10 * 2048 + 1), [&] {
    Bytes expected(cut.begin(), cut.begin() + 10 * 2048);
    expected.push_back(0xFF);
    return expected;
  }());
  EXPECT_EQ(s.commits.back(), std::make_pair(3 * B + 16896, 20480u - 16896u));
}

TEST_F(OnePartition, EraseIsTriedOnceMore) {
  Fail(FaultKind::kRefuse, 0x4D);
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  const Lines log = window.Log();
  EXPECT_EQ(
      Lines(log.begin(), log.begin() + 12),
      (Lines{"Erase Partition: modem", "Erase Address: 0x42000,  Size : 0x4e20", "Erase Start...",
             "#0", "Response is NAK", "NAND Erase Fail !", "Fail : Partition Erase modem Retry 1",
             "Erase Start...", "#0", "#100", "Erase complete", "NAND Flash Initialize"}));
  EXPECT_EQ(Stored(2 * B, data.size()), data);
}

TEST_F(OnePartition, SecondEraseFailureEndsTheRun) {
  Fail(FaultKind::kRefuse, 0x4D, 2);
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  EXPECT_EQ(window.Log(), (Lines{"Erase Partition: modem", "Erase Address: 0x42000,  Size : 0x4e20",
                                 "Erase Start...", "#0", "Response is NAK", "NAND Erase Fail !",
                                 "Fail : Partition Erase modem Retry 1", "Erase Start...", "#0",
                                 "Response is NAK", "NAND Erase Fail !",
                                 "Fail : Partition Erase modem Retry 2", "#200"}));
  EXPECT_TRUE(State().inits.empty());
}

TEST_F(OnePartition, RefusedInitialisationEndsTheRunWithItsOwnLines) {
  Fail(FaultKind::kRefuse, 0x40);
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  EXPECT_EQ(window.Log(), (kEraseOfModem + Lines{"NAND Flash Initialize", "#0", "Response is NAK",
                                                 "error!", "#200"}));
  EXPECT_TRUE(State().chunks.empty());
}

TEST_F(OnePartition, RefusedFinalisationNamesThePartition) {
  Fail(FaultKind::kRefuse, 0x42);
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  const Lines log = window.Log();
  EXPECT_EQ(Lines(log.end() - 6, log.end()),
            (Lines{"Finalize NAND Flash", "#0", "Response is NAK", "We can't finalize NAND Flash!",
                   "#200", "Fail : Finalize modem"}));
  EXPECT_EQ(Stored(2 * B, data.size()), data);
}

TEST_F(OnePartition, CommitRefusedOnceIsRetriedAlone) {
  Fail(FaultKind::kRefuse, kCommit, 1, 1);  // the second chunk's first commit
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  EXPECT_EQ(Count("We retry to set NAND Address or Length!"), 1u);
  const auto s = State();
  EXPECT_EQ(s.chunks, (std::vector<size_t>{8448, 8448, 3104}));
  EXPECT_EQ(s.commits, (Pairs{{2 * B, 8448}, {2 * B + 8448, 8448}, {2 * B + 16896, 3104}}));
  EXPECT_EQ(Stored(2 * B, data.size()), data);
}

TEST_F(OnePartition, FiveRefusedCommitsSendTheChunkAgainAtTheSameAddress) {
  Fail(FaultKind::kRefuse, kCommit, 5, 1);
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  EXPECT_EQ(Count("We retry to set NAND Address or Length!"), 5u);
  const auto s = State();
  EXPECT_EQ(s.chunks, (std::vector<size_t>{8448, 8448, 8448, 3104}));
  EXPECT_EQ(s.commits, (Pairs{{2 * B, 8448}, {2 * B + 8448, 8448}, {2 * B + 16896, 3104}}));
  EXPECT_EQ(Stored(2 * B, data.size()), data);
  // The chunk sent again is not counted twice.
  const auto codes = window.Codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 84), 2);
  ExpectPercentagesOnly();
}

TEST_F(OnePartition, FifthRollbackOfAChunkEndsTheWrite) {
  Fail(FaultKind::kRefuse, kCommit, 25);
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  EXPECT_EQ(Count("We retry to set NAND Address or Length!"), 25u);
  const Lines log = window.Log();
  EXPECT_EQ(Lines(log.end() - 4, log.end()),
            (Lines{"We retry to set NAND Address or Length!",
                   "We can't set NAND Address or Length!", "#200", "Fail : Write modem"}));
  const auto s = State();
  EXPECT_EQ(s.chunks, std::vector<size_t>(5, 8448));
  EXPECT_TRUE(s.commits.empty());
  EXPECT_EQ(s.finalizes, 0);
  ExpectPercentagesOnly();
}

TEST_F(OnePartition, FourRollbacksStillRecover) {
  Fail(FaultKind::kRefuse, kCommit, 20);
  ASSERT_EQ(module.ProgramNandPartitions(), 1);
  EXPECT_EQ(Count("We retry to set NAND Address or Length!"), 20u);
  EXPECT_EQ(State().chunks.size(), 5u + 2);
  EXPECT_EQ(Stored(2 * B, data.size()), data);
}

TEST_F(OnePartition, DataRequestsThatCannotBeSentEndTheWrite) {
  // The phone drops off the link in the middle of the second chunk.
  const size_t beforeIt = 11 + 7 + (6 + 8448 + 2) + 11;
  handset->InjectFault(Mode::kDload,
                       Fault{.kind = FaultKind::kVanishReceiving, .afterBytes = beforeIt + 4000});
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  const Lines log = window.Log();
  EXPECT_EQ(Lines(log.end() - 3, log.end()),
            (Lines{"We can't write in NAND", "#200", "Fail : Write modem"}));
  const auto s = State();
  EXPECT_EQ(s.commits, (Pairs{{2 * B, 8448}}));
  EXPECT_EQ(Stored(2 * B, 8448), Bytes(data.begin(), data.begin() + 8448));
}

TEST_F(OnePartition, BufferShorterThanItsSizeIsNeverReadPast) {
  Set().slots[0].data.resize(100);
  EXPECT_EQ(module.ProgramNandPartitions(), 0);
  const Lines log = window.Log();
  EXPECT_EQ(Lines(log.end() - 4, log.end()),
            (Lines{"Start flash write", "We can't write in NAND", "#200", "Fail : Write modem"}));
  EXPECT_TRUE(State().chunks.empty());
}

}  // namespace
