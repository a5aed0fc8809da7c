// The MDM download end to end: model.so loaded by path, DoFactoryDownloadMDM bound by name, and a
// simulated handset that leaves its port and comes back on a new one at every switch: diagnostic
// port, download mode, diagnostic port after the reset, download mode, application processor.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/sha256.h"
#include "plugin/mdm_image.h"
#include "sim/builders/ap_builders.h"
#include "sim/builders/mdm_builders.h"
#include "sim/nvidia_loader.h"
#include "sim/phone_control_model.h"
#include "support/discovery_sandbox.h"
#include "support/message_boxes.h"
#include "support/os_version.h"
#include "support/plugin.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "support/time_scale.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::QualcommHandset;
using Mode = QualcommHandset::Mode;

constexpr uint32_t B = mdm::kBlockBytes;
// Clock milliseconds; at the test's clock scale a second of real time for an answer.
constexpr uint32_t kTimeout = 20000;

Lines operator+(Lines a, const Lines& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

const Lines kSwitch = {"We try to communicate with phone",
                       "Change DLOAD mode",
                       "We are searching new USB port...",
                       "Curport: *",
                       "Test DLOAD mode",
                       "Set NONHDLC mode"};

std::string DigestOf(const Bytes& bytes, size_t length) {
  return sha256::Hex(sha256::Of(bytes.data(), length));
}

Lines EmptySlot(const std::string& name, const char* address) {
  return {"Erase Partition: " + name, std::string("Erase Address: ") + address + ",  Size : 0x0",
          "Erase Start...", "Erase complete"};
}

Lines WrittenSlot(const std::string& name, const char* address, const char* size) {
  return {
      "Erase Partition: " + name, std::string("Erase Address: ") + address + ",  Size : " + size,
      "Erase Start...",           "Erase complete",
      "NAND Flash Initialize",    "Start flash write",
      "Finalize NAND Flash"};
}

constexpr double kFast = 0.05;

// A data request of the NAND write gets no answer: the phone has to take it within the link's
// fixed 8 ms pause, before the purge that opens the next request drops what it has not read. So
// that pause runs in real time while chunks flow, as it does in a factory; every other wait of
// the sequence runs fast.
class PacedWindow : public testing_support::RecordingWindow {
 public:
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    const platform::LRESULT result = RecordingWindow::HandleMessage(message, wParam, lParam);
    if (message == notify::kMsgNotify && wParam == notify::kStatusText) {
      const std::string text = reinterpret_cast<const char*>(lParam);
      if (text == "Start flash write") platform::SetTimeScale(1.0);
      if (text == "Finalize NAND Flash" || text.rfind("Fail : Write", 0) == 0) {
        platform::SetTimeScale(kFast);
      }
    }
    return result;
  }
};

class MdmDownload : public ::testing::Test {
 protected:
  MdmDownload() {
    mdm.Add({"sbl", 0, 1}).Add({"modem", 1, 2}).Add({"efs", 3, 1});
    mdm.CutAt(mdm.DataOffset(2) + 7 * mdm::kPageBytes + 11);  // efs ends after 7 pages
    ap.Add({.sectors = 1000, .advance = 1000, .seed = 3})
        .Add({.sectors = 3, .advance = 8, .seed = 4});
    EXPECT_TRUE(mdm.WriteTo(mdmPath));
    EXPECT_TRUE(ap.WriteTo(apPath));
  }

  void SetUp() override { ASSERT_TRUE(phone.handset->WaitForMode(Mode::kDiag, 5000)); }

  QualcommHandset& Handset() { return *phone.handset; }
  int Run(const std::string& modem) {
    return plugin.DoFactoryDownloadMDM(&window, Handset().CurrentPort(), &modem, &apPath, kTimeout);
  }
  void Fail(Mode mode, FaultKind kind, int command, unsigned times = 1) {
    Handset().InjectFault(mode, Fault{.kind = kind, .command = command, .times = times});
  }

  // What the window saw, for a failure message.
  std::string Report() const {
    std::string out;
    for (const std::string& line : window.Log()) out += "\n  " + line;
    return out;
  }
  // The status lines, with the port numbers that discovery found left out.
  Lines Texts() const {
    Lines out = window.Texts();
    for (std::string& line : out) {
      if (line.rfind("Curport: ", 0) == 0) line = "Curport: *";
    }
    return out;
  }
  Lines Tail(size_t n) const {
    const Lines log = window.Log();
    return Lines(log.end() - static_cast<long>(std::min(n, log.size())), log.end());
  }
  size_t Count(const std::string& line) const {
    const Lines texts = window.Texts();
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), line));
  }
  QualcommHandset::DloadState Dload() {
    QualcommHandset::DloadState copy;
    Handset().Inspect([&](const auto&, const QualcommHandset::DloadState& s) { copy = s; });
    return copy;
  }
  Bytes Stored(uint32_t address, size_t length) {
    Bytes out;
    Handset().Inspect(
        [&](const phonesim::FlashStore& nand, const auto&) { out = nand.Read(address, length); });
    return out;
  }
  void ExpectApplicationProcessorWritten() {
    ASSERT_EQ(Handset().CurrentMode(), Mode::kApLoader);
    const bool inspected = Handset().WithCurrentPersonality([&](phonesim::Personality&) {
      const auto& parts = phone.nvidia->FilePartitions();
      ASSERT_EQ(parts.size(), 2u);
      EXPECT_EQ(parts[0].Bytes(), ap.Image(0));
      EXPECT_EQ(parts[1].Bytes(), ap.Image(1));
      EXPECT_EQ(phone.control->Completions(), 1);
    });
    EXPECT_TRUE(inspected);
  }

  // The fixed waits (2 s, 5 s, 8 s, 10 s) take a twentieth: the phone still gets hundreds of
  // real milliseconds to drop off and come back.
  testing_support::ScopedTimeScale fast{kFast};
  testing_support::DiscoverySandbox sandbox;
  testing_support::TempDir dir;
  testing_support::Plugin plugin;
  PacedWindow window;
  b::MdmImageBuilder mdm;
  b::NvidiaFactoryBuilder ap;
  const std::string mdmPath = dir / "modem.mdm";
  const std::string apPath = dir / "ap.img";
  b::MdmPhone phone = b::MakeMdmPhone();
  testing_support::MessageBoxes boxes;
};

TEST_F(MdmDownload, ModemThenApplicationProcessorAcrossFiveAppearances) {
  ASSERT_EQ(Run(mdmPath), 1) << Report();
  const Lines nand = EmptySlot("", "0x0") + EmptySlot("", "0x0") + EmptySlot("", "0x0") +
                     EmptySlot("", "0x0") + WrittenSlot("sbl", "0x0", "0x21000") +
                     WrittenSlot("modem", "0x21000", "0x42000") +
                     WrittenSlot("efs", "0x63000", "0x3800") + EmptySlot("", "0x8400000");
  const Lines expected =
      Lines{"Download Start...", "MDM Download start", "Read binary setting value"} + kSwitch +
      nand + Lines{"Trying to reset...", "Curport: *", "Complete CP download!"} + kSwitch +
      Lines{"We are searching new USB port...", "Curport: *",
            "Num of partitions are 2",          "Partition download complete.",
            "Partition download complete.",     "Download complete"};
  EXPECT_EQ(Texts(), expected);
  const auto codes = window.Codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 200), 0);
  EXPECT_EQ(codes.back(), 400);  // from the final synchronisation

  EXPECT_EQ(Handset().Appearances(), 5);
  const auto s = Dload();
  EXPECT_TRUE(s.rawMode);
  EXPECT_EQ(s.inits, (std::vector<uint32_t>{0, 1, 3}));
  EXPECT_EQ(s.finalizes, 3);
  EXPECT_EQ(Stored(0, B), mdm.Data(0));
  EXPECT_EQ(Stored(B, 2 * B), mdm.Data(1));
  const Bytes efs = mdm.Data(2);
  EXPECT_EQ(Stored(3 * B, 7 * 2048), Bytes(efs.begin(), efs.begin() + 7 * 2048));
  EXPECT_EQ(Stored(3 * B + 7 * 2048, 1), Bytes{0xFF});
  ExpectApplicationProcessorWritten();
  // The NAND step carries the image's digest, whole: the padding between the header, the tables
  // and the data is read on the way, not skipped.
  const Bytes image = mdm.Build();
  const Lines digests = window.DigestEnds();
  ASSERT_FALSE(digests.empty());
  EXPECT_EQ(digests[0], "modem.mdm " + DigestOf(image, image.size()) + " " +
                            std::to_string(image.size()) + " whole");
}

TEST_F(MdmDownload, WithoutAnMdmImageOnlyTheApplicationProcessorIsWritten) {
  ASSERT_EQ(Run(""), 1) << Report();
  const Lines expected = Lines{"Download Start...", "Start AP only download"} + kSwitch +
                         Lines{"We are searching new USB port...", "Curport: *",
                               "Num of partitions are 2",          "Partition download complete.",
                               "Partition download complete.",     "Download complete"};
  EXPECT_EQ(Texts(), expected);
  EXPECT_EQ(Handset().Appearances(), 3);
  EXPECT_TRUE(Dload().erases.empty());
  ExpectApplicationProcessorWritten();
}

TEST_F(MdmDownload, PhoneThatDoesNotComeBackAfterItsResetIsARebootFailure) {
  Handset().NeverReturnAs(Mode::kDiag);
  EXPECT_EQ(Run(mdmPath), 0);
  EXPECT_EQ(Tail(5), (Lines{"Trying to reset...", "#200", "We can't find new USB port",
                            "Reboot fail!", "#200"}));
  EXPECT_EQ(Handset().Appearances(), 2);
  EXPECT_EQ(Stored(0, B), mdm.Data(0));  // the modem's part was written before
}

TEST_F(MdmDownload, ApplicationProcessorThatNeverAppearsEndsWithoutALineOfItsOwn) {
  Handset().NeverReturnAs(Mode::kApLoader);
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Tail(3),
            (Lines{"We are searching new USB port...", "#200", "We can't find new USB port"}));
  EXPECT_EQ(Handset().CurrentMode(), Mode::kGone);
}

TEST_F(MdmDownload, OlderSystemsProbeDownloadModeTwice) {
  testing_support::ScopedOsVersion old(4);
  Fail(Mode::kDload, FaultKind::kRefuse, 0x06, 5);
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Tail(5), (Lines{"Test DLOAD mode", "Response is NAK", "Response is NAK", "#200",
                            "NOOP_F error"}));
}

TEST_F(MdmDownload, NewerSystemsProbeTenTimes) {
  Fail(Mode::kDload, FaultKind::kRefuse, 0x06, 10);
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Count("Response is NAK"), 10u);
  EXPECT_EQ(Tail(2), (Lines{"#200", "NOOP_F error"}));
}

TEST_F(MdmDownload, DownloadModeThatAnswersAtTheLastProbeIsTaken) {
  Fail(Mode::kDload, FaultKind::kRefuse, 0x06, 9);
  ASSERT_EQ(Run(""), 1) << Report();
  EXPECT_EQ(Count("Response is NAK"), 9u);
  ExpectApplicationProcessorWritten();
}

TEST_F(MdmDownload, ModeCommandFailingStillGoesOnToDownloadMode) {
  Fail(Mode::kDiag, FaultKind::kRefuse, 0x29, 2);
  ASSERT_EQ(Run(""), 1) << Report();
  const Lines texts = Texts();
  ASSERT_GE(texts.size(), 7u);
  EXPECT_EQ(Lines(texts.begin() + 2, texts.begin() + 7),
            (Lines{"We try to communicate with phone", "Retry SendCmd ",
                   "We can't communicate with Phone", "Fail MDMSendCmdLineToPhone",
                   "Change DLOAD mode"}));
  ExpectApplicationProcessorWritten();
}

TEST_F(MdmDownload, RefusedDownloadModeEndsWithTheStepsOwnLines) {
  Fail(Mode::kDiag, FaultKind::kRefuse, 0x3A);
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Tail(4), (Lines{"Change DLOAD mode", "#0", "We can't change DLOAD mode", "#200"}));
  EXPECT_EQ(Handset().Appearances(), 1);
}

TEST_F(MdmDownload, UnreadableOrMeaninglessMdmImageLeavesThePhoneAlone) {
  EXPECT_EQ(Run(dir / "missing.mdm"), 0);
  EXPECT_EQ(Tail(4),
            (Lines{"Read binary setting value", "#0", "#200", "We can't read MDM binary"}));
  // Random bytes: no table in the file, nothing to write.
  window.Clear();
  const Bytes random = b::Pattern(5000, 77);
  ASSERT_TRUE(b::WriteFile(dir / "random.mdm", random));
  EXPECT_EQ(Run(dir / "random.mdm"), 0);
  EXPECT_EQ(Tail(2), (Lines{"#200", "MDM binary holds no partition to write"}));
  // Only its header was read (its table offset lies far past its end): the digest says so.
  EXPECT_EQ(window.DigestEnds(), (Lines{"random.mdm " + DigestOf(random, 104) + " 104 partial"}));
  EXPECT_EQ(Handset().Appearances(), 1);
  EXPECT_EQ(Handset().CurrentMode(), Mode::kDiag);
}

TEST_F(MdmDownload, NandFailureStopsBeforeTheReset) {
  Fail(Mode::kDload, FaultKind::kRefuse, 0x4D, 2);
  EXPECT_EQ(Run(mdmPath), 0);
  EXPECT_EQ(Tail(2), (Lines{"Fail : Partition Erase  Retry 2", "#200"}));
  EXPECT_EQ(Handset().CurrentMode(), Mode::kDload);
  EXPECT_EQ(Count("Trying to reset..."), 0u);
}

TEST_F(MdmDownload, ApplicationProcessorFileThatIsNotOneFails) {
  ap.Magic({1, 2, 3, 4});
  ASSERT_TRUE(ap.WriteTo(apPath));
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Tail(2), (Lines{"We can't read magic number", "#200"}));
  Handset().WithCurrentPersonality([&](phonesim::Personality&) {
    EXPECT_TRUE(phone.nvidia->FilePartitions().empty());
    EXPECT_EQ(phone.control->Completions(), 0);
  });
}

TEST_F(MdmDownload, PortThatCannotBeOpenedOrNoWindow) {
  const std::string none;
  EXPECT_EQ(plugin.DoFactoryDownloadMDM(&window, 254, &none, &apPath, kTimeout), 0);
  EXPECT_EQ(window.Log(),
            (Lines{"Download Start...", "#0", "#200", "We can't communicate with specific port"}));
  EXPECT_EQ(plugin.DoFactoryDownloadMDM(nullptr, Handset().CurrentPort(), &none, &apPath, kTimeout),
            0);
  EXPECT_EQ(boxes.Texts(), Lines{"We can't find program!"});
  EXPECT_EQ(Handset().Appearances(), 1);
}

}  // namespace
