// Resets, USB switches, factory data and the final synchronisation against a simulated phone.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "support/model_phone_fixture.h"
#include "support/scripted_phone.h"
#include "support/time_scale.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using testing_support::ModelPhoneFixture;
using Lines = std::vector<std::string>;

class PhoneControl : public ::testing::Test {
 protected:
  PhoneControl() : control(f.AddControl()) { f.Start(); }

  void Fail(FaultKind kind, int command) {
    f.phone->InjectFault(Fault{.kind = kind, .command = command});
  }

  ModelPhoneFixture f;
  phonesim::PhoneControlModel& control;
};

TEST_F(PhoneControl, ResetAndCpSwitchSucceedSilentlyAndThePhoneLeaves) {
  EXPECT_EQ(f.flash.PreNormalReset(&f.link), 1);
  EXPECT_EQ(f.flash.NormalReset(&f.link), 1);
  EXPECT_TRUE(f.window.Messages().empty());
  f.Inspect([&] {
    EXPECT_EQ(control.PreResets(), 1);
    EXPECT_EQ(control.Resets(), 1);
  });
  // The phone rebooted: the next command finds the port gone.
  EXPECT_EQ(f.flash.CPUSBSwitch(&f.link), 0);
  EXPECT_EQ(f.link.GetOpenFlag(), 0);
  EXPECT_EQ(f.window.Log(),
            (Lines{"Timeout error is occured", "We can't cp USB switching", "#200"}));
}

TEST_F(PhoneControl, EachStepReportsItsOwnFailure) {
  struct Case {
    int (CBasicFlash::*step)(CMiscUtilComm*);
    int command;
    const char* failure;
  };
  const Case cases[] = {
      {&CBasicFlash::NormalReset, 0x22, "We can't reset phone"},
      {&CBasicFlash::PreNormalReset, 0x24, "We can't pre reset phone"},
      {&CBasicFlash::CPUSBSwitch, 0x25, "We can't cp USB switching"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    f.window.Clear();
    Fail(FaultKind::kRefuse, c.command);
    EXPECT_EQ((f.flash.*c.step)(&f.link), 0);
    EXPECT_EQ(f.window.Log(), (Lines{"Response is NAK", c.failure, "#200"}));
  }
}

TEST_F(PhoneControl, FactoryInfoHandsTheWindowTheModelNameAndPidBlock) {
  EXPECT_EQ(f.flash.ExtractFactoryInfo(&f.link), 1);
  const auto messages = f.window.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].text, "Get Factory Info");
  EXPECT_EQ(messages[1].value, 90);
  EXPECT_EQ(messages[2].message, notify::kMsgFactory);
  EXPECT_EQ(messages[2].wParam, notify::kFactoryModelName);
  EXPECT_EQ(messages[2].text, "TQ4410");
  EXPECT_EQ(messages[3].wParam, notify::kFactoryPid);
  std::string pid;
  for (size_t i = 0; i < 64; ++i) pid += static_cast<char>('A' + i % 26);
  EXPECT_EQ(messages[3].text, pid);  // all 64 bytes, though the record holds only 54
  EXPECT_EQ(f.flash.m_PhoneControl.factoryRsp.code, 0x72);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.flash.m_PhoneControl.factoryRsp.data)),
            "TQ4410");
}

TEST_F(PhoneControl, FactoryInfoFailuresSendNoFailureCode) {
  testing_support::ScopedTimeScale fast(0.01);  // its fixed 10 s wait takes 100 ms
  Fail(FaultKind::kSilent, 0x72);
  EXPECT_EQ(f.flash.ExtractFactoryInfo(&f.link), 0);
  EXPECT_EQ(f.window.Log(), (Lines{"Timeout error is occured", "fail to extract factory info"}));
  f.window.Clear();
  Fail(FaultKind::kRefuse, 0x72);
  EXPECT_EQ(f.flash.ExtractFactoryInfo(&f.link), 0);
  EXPECT_EQ(f.window.Log(), (Lines{"Response is NAK", "fail to extract factory info"}));
}

TEST_F(PhoneControl, CompleteWaitsTwoSecondsAfterTheAcknowledgement) {
  testing_support::ScopedTimeScale fast(0.01);
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(f.flash.Complete(&f.link), 1);
  EXPECT_GE(platform::TickCount() - t0, 2000u);
  EXPECT_EQ(f.window.Log(), (Lines{"#300", "#400"}));
  f.Inspect([&] { EXPECT_EQ(control.Completions(), 1); });
}

TEST_F(PhoneControl, CompleteWithoutAnswerInSixTimeOutsFails) {
  Fail(FaultKind::kSilent, 0x89);
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(f.flash.Complete(&f.link), 0);
  EXPECT_GE(platform::TickCount() - t0, 6 * ModelPhoneFixture::kTimeout);
  EXPECT_EQ(f.window.Log(),
            (Lines{"#300", "Timeout error is occured", "complete sync error!", "#200"}));
}

TEST_F(PhoneControl, WithoutAParentWindowNothingIsSent) {
  f.flash.SetParentHandle(nullptr);
  f.link.SetParentHandle(nullptr);
  Fail(FaultKind::kRefuse, 0x22);
  EXPECT_EQ(f.flash.NormalReset(&f.link), 0);
  EXPECT_EQ(f.flash.ExtractFactoryInfo(&f.link), 1);
  EXPECT_TRUE(f.window.Messages().empty());
}

TEST(SwitchUsbToAp, SucceedsWhenThePhoneLeavesAtOnceAndFailsOnAClosedPort) {
  testing_support::LinkFixture f;
  f.Script().SetRawLength(
      [](const uint8_t*, size_t) { return phonesim::PacketSizer::kUntilCheck; });
  f.Script().SetAnswer([](const phonesim::Packet& p) {
    phonesim::Reply r;  // no answer: the modem hands the USB link over and drops off
    r.leave = p.Command() == 0x60 && p.checkOk;
    return r;
  });
  CBasicFlash flash;
  flash.SetParentHandle(&f.window);
  EXPECT_EQ(flash.SwitchUSBToAP(&f.link), 1);
  EXPECT_TRUE(f.window.Messages().empty());
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, std::vector<uint8_t>{0x60});
  EXPECT_FALSE(requests[0].framed);

  f.link.Close();
  EXPECT_EQ(flash.SwitchUSBToAP(&f.link), 0);
  EXPECT_EQ(f.window.Log(), (Lines{"We can't switch USB to AP", "#200"}));
}

}  // namespace

namespace {

// An answer that fails its check could have been a refusal: the step fails rather than pass.
TEST(CorruptAnswers, AreFailuresNotAcknowledgements) {
  testing_support::ModelPhoneFixture f;
  f.AddControl();
  f.Start();
  f.phone->InjectFault(phonesim::Fault{.kind = phonesim::FaultKind::kBadCheck, .command = 0x22});
  EXPECT_EQ(f.flash.NormalReset(&f.link), 0);
  EXPECT_EQ(f.window.Log(),
            (std::vector<std::string>{"Response is not ACK", "We can't reset phone", "#200"}));
}

}  // namespace
