// The Qualcomm modem's download mode against a simulated handset that re-enumerates.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/clock.h"
#include "corvane/protocol/misc_util_comm.h"
#include "sim/qualcomm_handset.h"
#include "support/discovery_sandbox.h"
#include "support/recording_window.h"
#include "support/time_scale.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::QualcommHandset;
using Mode = QualcommHandset::Mode;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr int kWaitMs = 5000;

class Qualcomm : public ::testing::Test {
 protected:
  explicit Qualcomm(Mode initial = Mode::kDiag, uint32_t delayMs = 300,
                    const phonesim::UsbLocation& usb = phonesim::NextUsbLocation()) {
    QualcommHandset::Options options;
    options.initialMode = initial;
    options.reenumerateDelayMs = delayMs;
    options.usb = usb;
    handset = std::make_unique<QualcommHandset>(options);
    flash.SetParentHandle(&window);
    flash.SetDefaultTimeout(300);
    link.SetParentHandle(&window);
    Open();
  }
  ~Qualcomm() override { link.Close(); }

  void Open() {
    EXPECT_TRUE(handset->WaitForMode(handset->CurrentMode(), kWaitMs));
    link.Close();
    ASSERT_TRUE(link.SetComPort(handset->CurrentPort()));
  }

  void Fail(FaultKind kind, int command, unsigned times = 1) {
    handset->InjectFault(handset->CurrentMode(),
                         Fault{.kind = kind, .command = command, .times = times});
  }

  testing_support::DiscoverySandbox sandbox;
  testing_support::RecordingWindow window;
  std::unique_ptr<QualcommHandset> handset;
  CMiscUtilComm link;
  CBasicFlash flash;
};

class Dload : public Qualcomm {
 protected:
  Dload() : Qualcomm(Mode::kDload) {}
};

// This phone is slow to come back; the other phone, switched at the same moment, is quick.
class TwoPhones : public Qualcomm {
 protected:
  explicit TwoPhones(const phonesim::UsbLocation& usb = phonesim::NextUsbLocation())
      : Qualcomm(Mode::kDiag, kSlowMs, usb) {
    QualcommHandset::Options quick;
    quick.reenumerateDelayMs = 10;
    if (usb.path.empty()) quick.usb = {};
    other = std::make_unique<QualcommHandset>(quick);
    EXPECT_TRUE(other->WaitForMode(Mode::kDiag, kWaitMs));
  }
  ~TwoPhones() override { otherLink.Close(); }

  // The other phone's run tells it to switch to download mode.
  void SwitchTheOther() {
    otherLink.Close();
    ASSERT_TRUE(otherLink.SetComPort(other->CurrentPort()));
    ASSERT_EQ(otherFlash.MDMDloadSet(&otherLink), 1);
    otherLink.Close();
  }

  static constexpr uint32_t kSlowMs = 1500;
  std::unique_ptr<QualcommHandset> other;
  CMiscUtilComm otherLink;
  CBasicFlash otherFlash;
};

class TwoPhonesInUnknownSockets : public TwoPhones {
 protected:
  TwoPhonesInUnknownSockets() : TwoPhones({}) {}
};

TEST_F(Qualcomm, ModeCommandRetriesOnceAfterASecond) {
  testing_support::ScopedTimeScale fast(0.05);
  EXPECT_EQ(flash.MDMSendCmdLineToPhone(&link), 1);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#100"}));

  window.Clear();
  Fail(FaultKind::kSilent, 0x29);
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(flash.MDMSendCmdLineToPhone(&link), 1);
  EXPECT_GE(platform::TickCount() - t0, 1000u);
  EXPECT_EQ(window.Log(), (Lines{"#0", "Timeout error is occured", "Retry SendCmd ", "#100"}));

  window.Clear();
  Fail(FaultKind::kRefuse, 0x29, 2);
  EXPECT_EQ(flash.MDMSendCmdLineToPhone(&link), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "Retry SendCmd ", "We can't communicate with Phone"}));
}

TEST_F(Qualcomm, DownloadModeComesBackOnANewPortThatDiscoveryFinds) {
  const uint8_t diagPort = handset->CurrentPort();
  EXPECT_EQ(flash.MDMDloadSet(&link), 1);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#100"}));
  window.Clear();
  // The sequence waits for the phone to drop off before it searches.
  ASSERT_TRUE(handset->WaitForMode(Mode::kGone, kWaitMs));
  const uint8_t found = flash.SearchUSBDevice();
  ASSERT_NE(found, 255);
  EXPECT_TRUE(handset->WaitForMode(Mode::kDload, kWaitMs));
  EXPECT_EQ(found, handset->CurrentPort());
  EXPECT_NE(found, diagPort);
  EXPECT_EQ(window.Log(), (Lines{"Curport: " + std::to_string(found)}));
  link.Close();
  ASSERT_TRUE(link.SetComPort(found));
  EXPECT_EQ(flash.MDMDLoadNoopF(&link), 1);
  EXPECT_EQ(handset->Appearances(), 2);
}

TEST_F(Qualcomm, RefusedDownloadModeStaysOnThePort) {
  Fail(FaultKind::kRefuse, 0x3A);
  EXPECT_EQ(flash.MDMDloadSet(&link), 0);
  EXPECT_EQ(window.Log(), (Lines{"#0", "We can't change DLOAD mode", "#200"}));
  EXPECT_EQ(handset->CurrentMode(), Mode::kDiag);
}

TEST_F(Qualcomm, SearchFindsAPortThatAppearsLateAndGivesUpAfterTwentySeconds) {
  testing_support::ScopedTimeScale fast(0.02);
  handset.reset();  // no phone at all
  QualcommHandset::Options late;
  late.initialMode = Mode::kGone;
  handset = std::make_unique<QualcommHandset>(late);
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(flash.SearchUSBDevice(), 255);
  EXPECT_GT(platform::TickCount() - t0, 20000u);
  EXPECT_LT(platform::TickCount() - t0, 22000u);
  EXPECT_EQ(window.Log(), (Lines{"#200", "We can't find new USB port"}));

  // A phone that comes up 3 s into the search.
  QualcommHandset::Options diag;
  diag.reenumerateDelayMs = 3000;
  diag.initialMode = Mode::kDload;
  handset = std::make_unique<QualcommHandset>(diag);
  const uint8_t first = handset->CurrentPort();
  const uint8_t request[] = {0x0A, 0x00};  // reset: leaves now, back in 3 s
  link.Close();
  ASSERT_TRUE(link.SetComPort(first));
  ASSERT_EQ(link.MDMAsyncTx(request, nullptr, 1), kTxOk);
  ASSERT_TRUE(handset->WaitForMode(Mode::kGone, kWaitMs));
  const uint64_t t1 = platform::TickCount();
  const uint8_t found = flash.SearchUSBDevice();
  EXPECT_NE(found, 255);
  EXPECT_GE(platform::TickCount() - t1, 2000u);
  EXPECT_TRUE(handset->WaitForMode(Mode::kDiag, kWaitMs));
  EXPECT_EQ(found, handset->CurrentPort());
}

// The other phone's download port comes up first, while this phone's is still away: the search
// waits for the new port in this phone's own USB socket.
TEST_F(TwoPhones, SwitchedAtOnceEachFindsItsOwnNewPortWhicheverComesFirst) {
  ASSERT_EQ(flash.MDMDloadSet(&link), 1);
  SwitchTheOther();
  ASSERT_TRUE(handset->WaitForMode(Mode::kGone, kWaitMs));
  ASSERT_TRUE(other->WaitForMode(Mode::kDload, kWaitMs));
  link.Close();
  const uint8_t found = flash.SearchUSBDevice();
  EXPECT_TRUE(handset->WaitForMode(Mode::kDload, kWaitMs));
  EXPECT_EQ(found, handset->CurrentPort());
  EXPECT_NE(found, other->CurrentPort());
}

// Without sockets to go by: a port that was there before the switch is never this phone's, nor
// one that another run holds; two free new ones cannot be told apart, and the run fails.
TEST_F(TwoPhonesInUnknownSockets, OnlyANewPortNoRunHoldsAndTwoAreNeither) {
  ASSERT_EQ(flash.MDMDloadSet(&link), 1);  // the other phone stays on its diagnostic port
  ASSERT_TRUE(handset->WaitForMode(Mode::kGone, kWaitMs));
  link.Close();
  const uint8_t found = flash.SearchUSBDevice();
  ASSERT_TRUE(handset->WaitForMode(Mode::kDload, kWaitMs));
  ASSERT_EQ(found, handset->CurrentPort());

  ASSERT_TRUE(link.SetComPort(found));
  ASSERT_EQ(flash.MDMDownLoadReset(&link), 1);  // back to its diagnostic port, slowly
  link.Close();
  SwitchTheOther();
  ASSERT_TRUE(other->WaitForMode(Mode::kDload, kWaitMs));
  ASSERT_TRUE(handset->WaitForMode(Mode::kDiag, kWaitMs));
  window.Clear();
  EXPECT_EQ(flash.SearchUSBDevice(), 255);
  EXPECT_EQ(window.Log(),
            (Lines{"More than one new port: cannot tell which one is this phone", "#200"}));

  ASSERT_TRUE(otherLink.SetComPort(other->CurrentPort()));  // the other phone's run has it
  EXPECT_EQ(flash.SearchUSBDevice(), handset->CurrentPort());
}

TEST_F(Dload, EraseSendsBigEndianBlocksUnframedWithItsCheck) {
  EXPECT_EQ(flash.MDMDownLoadErase(16, 512, &link), 1);
  EXPECT_EQ(window.Log(), (Lines{"Erase Start...", "#0", "#100"}));
  handset->Inspect([](const phonesim::FlashStore&, const QualcommHandset::DloadState& s) {
    ASSERT_EQ(s.erases.size(), 1u);
    EXPECT_EQ(s.erases[0], std::make_pair(16u, 512u));
  });
  window.Clear();
  Fail(FaultKind::kRefuse, 0x4D);
  EXPECT_EQ(flash.MDMDownLoadErase(16, 512, &link), 0);
  EXPECT_EQ(window.Log(), (Lines{"Erase Start...", "#0", "Response is NAK", "NAND Erase Fail !"}));
}

TEST_F(Dload, HdlcModeSwitchSetsTheFlagOnlyWhenThePhoneAgrees) {
  EXPECT_EQ(flash.MDMChangeDloadHDLCMode(0, &link), 1);  // FD 01: raw transfers
  EXPECT_EQ(flash.m_Qualcomm.nonHdlcMode, 1);
  handset->Inspect(
      [](const auto&, const QualcommHandset::DloadState& s) { EXPECT_TRUE(s.rawMode); });
  EXPECT_EQ(flash.MDMChangeDloadHDLCMode(1, &link), 1);  // FD 00
  EXPECT_EQ(flash.m_Qualcomm.nonHdlcMode, 0);
  handset->Inspect(
      [](const auto&, const QualcommHandset::DloadState& s) { EXPECT_FALSE(s.rawMode); });
  window.Clear();
  Fail(FaultKind::kRefuse, 0xFD);
  EXPECT_EQ(flash.WriteForMDMBIN(&link), 0);
  EXPECT_EQ(flash.m_Qualcomm.nonHdlcMode, 0);  // unchanged
  EXPECT_EQ(window.Log(), (Lines{"#0", "Response is NAK", "We can't change NONHDLC mode", "#200"}));
  EXPECT_EQ(flash.MDMChangeHDLCMode(0), 1);
  EXPECT_EQ(flash.m_Qualcomm.nonHdlcMode, 1);
}

TEST_F(Dload, NoopInitAndFinalizeReportTheirOwnFailures) {
  EXPECT_EQ(flash.MDMDLoadNoopF(&link), 1);
  EXPECT_EQ(flash.MDMNandFlashInit(7, &link), 1);
  EXPECT_EQ(flash.MDMNandFlashFinalize(&link), 1);
  EXPECT_EQ(window.Log(), (Lines{"#0", "#100", "#0", "#100"}));
  handset->Inspect([](const auto&, const QualcommHandset::DloadState& s) {
    EXPECT_EQ(s.inits, std::vector<uint32_t>{7});
    EXPECT_EQ(s.finalizes, 1);
  });
  window.Clear();
  Fail(FaultKind::kSilent, 0x06);
  EXPECT_EQ(flash.MDMDLoadNoopF(&link), 0);
  Fail(FaultKind::kRefuse, 0x40);
  EXPECT_EQ(flash.MDMNandFlashInit(7, &link), 0);
  Fail(FaultKind::kBadCheck, 0x42);
  EXPECT_EQ(flash.MDMNandFlashFinalize(&link), 0);
  EXPECT_EQ(window.Log(),
            (Lines{"Timeout error is occured", "#0", "Response is NAK", "error!", "#200", "#0",
                   "CRC error is occured", "We can't finalize NAND Flash!", "#200"}));
}

TEST_F(Dload, ResetNeedsNoAnswerAndBringsTheDiagnosticPortBack) {
  EXPECT_EQ(flash.MDMDownLoadReset(&link), 1);
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_TRUE(handset->WaitForMode(Mode::kDiag, kWaitMs));
  link.Close();
  EXPECT_EQ(flash.MDMDownLoadReset(&link), 0);
  EXPECT_EQ(window.Log(), (Lines{"We can't reset the phone", "#200"}));
}

TEST_F(Dload, SwitchToTheApplicationProcessorBringsItsBootLoaderUp) {
  EXPECT_EQ(flash.SwitchUSBToAP(&link), 1);
  EXPECT_TRUE(handset->WaitForMode(Mode::kApLoader, kWaitMs));
  const uint8_t port = flash.SearchUSBDevice();
  ASSERT_EQ(port, handset->CurrentPort());
  link.Close();
  ASSERT_TRUE(link.SetComPort(port));
  EXPECT_EQ(flash.Complete(&link), 1);  // the generic loader acknowledges the final sync
}

TEST_F(Dload, DataAndCommitRequestsLandInNand) {
  // The write loop itself belongs to the plug-in; here its two requests reach the NAND store.
  Bytes data(3000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3);
  Bytes request = {
      0x4E, 0, 0, 0, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
  request.insert(request.end(), data.begin(), data.end());
  ASSERT_EQ(link.MDMAsyncTx(request.data(), nullptr, request.size()), kTxOk);
  const Bytes commit = {0x41, 0, 0x02, 0x10, 0x00, 0, 0, 0x0B, 0xB8};  // 0x21000, 3000 bytes
  EXPECT_EQ(link.MDMAsyncTxRx(commit.data(), nullptr, commit.size(), 300), kTxOk);
  handset->Inspect([&](const phonesim::FlashStore& nand, const QualcommHandset::DloadState& s) {
    EXPECT_EQ(nand.Read(0x21000, data.size()), data);
    EXPECT_EQ(s.chunks, std::vector<size_t>{3000});
  });
  // A commit of a length that no data request brought is refused.
  EXPECT_EQ(link.MDMAsyncTxRx(commit.data(), nullptr, commit.size(), 300), kTxFail);
}

}  // namespace
