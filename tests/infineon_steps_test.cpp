// The Infineon steps against a simulated Infineon phone: start-up, security sequences, flash
// programming. Lines and codes are checked in the order the window got them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "sim/builders/infineon_builders.h"
#include "sim/infineon_modem.h"
#include "support/host_side.h"
#include "support/recording_window.h"
#include "support/time_scale.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::InfineonModem;

constexpr uint32_t kTimeout = 300;
constexpr uint32_t kFlashAddress = 0x00040000;

uint32_t Le(const Bytes& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
  return v;
}

// The check value the EBL expects for a 0x61 block carrying `data`.
uint16_t ExpectedCheck(const uint8_t* data, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += data[i];
  return static_cast<uint16_t>(sum + n + 2048 + 4);
}

class IfxPhone : public ::testing::Test, protected testing_support::HostSide {
 protected:
  IfxPhone() {
    Open(phone.PortNumber());
    UseImage(parts);
  }
  ~IfxPhone() override { link.Close(); }

  void UseImage(const b::IfxImageParts& p) {
    image = b::BuildIfxImage(p);
    if (!flash.ExtractPsiEbl(image.buffer.data(), nullptr) ||
        !flash.ExtractDataFromIFX(image.buffer.data(), nullptr)) {
      throw std::runtime_error("the built image was refused");
    }
  }
  // Brings the phone to a configured EBL, then forgets what the window and the phone saw.
  void StartUp() {
    ASSERT_EQ(flash.BasicIFXSetting(&link), 1);
    Forget();
  }
  void Forget() {
    window.Clear();
    mark = phone.Device().Requests().size();
  }
  // Requests the phone received since the last Forget.
  std::vector<Bytes> Headers() const {
    const auto all = phone.Device().Requests();
    std::vector<Bytes> out;
    for (size_t i = mark; i < all.size(); ++i) out.push_back(all[i].body);
    return out;
  }
  Bytes Commands() const {
    Bytes out;
    for (const Bytes& h : Headers()) out.push_back(h.empty() ? 0 : h[0]);
    return out;
  }
  // Texts and codes in order; codes as "#n".
  Lines Log() const {
    Lines out;
    for (const auto& m : window.Messages()) {
      out.push_back(m.wParam == notify::kStatusText ? m.text : "#" + std::to_string(m.value));
    }
    return out;
  }
  std::vector<intptr_t> Codes() const {
    std::vector<intptr_t> out;
    for (const auto& m : window.Messages()) {
      if (m.wParam == notify::kProgress) out.push_back(m.value);
    }
    return out;
  }
  void Fail(FaultKind kind, int command, unsigned skip = 0) {
    phone.Device().InjectFault(Fault{.kind = kind, .command = command, .skip = skip});
  }
  InfineonModem::Summary State() {
    return phone.Inspect([](const InfineonModem& m) { return m.State(); });
  }
  Bytes Flash(uint32_t address, size_t n) {
    return phone.Inspect([&](const InfineonModem& m) { return m.Store().Read(address, n); });
  }

  phonesim::InfineonPhone phone;
  b::IfxImageParts parts;
  b::IfxImage image;
  size_t mark = 0;
};

// --- start-up -------------------------------------------------------------------------------

using IfxStartUp = IfxPhone;

TEST_F(IfxStartUp, PsiGoesToTheBootRomAfterItsRequest) {
  EXPECT_EQ(flash.PSIRAMDownload(&link), 1);
  EXPECT_EQ(Log(), (Lines{"PSI RAM writing start", "#0", "#500",
                          "Trying to communicate with IFX modem", "Confirm IFX communication",
                          "#600", "#100", "PSI RAM writing end", "Start PSI RAM "}));
  const auto headers = Headers();
  ASSERT_EQ(Commands(), (Bytes{0x62, 0x65}));
  Bytes bare(14, 0);
  bare[0] = 0x62;
  EXPECT_EQ(headers[0], bare);
  EXPECT_EQ(Le(headers[1], 6, 4), parts.psi.size());
  EXPECT_EQ(phone.Inspect([](const InfineonModem& m) { return m.Psi(); }), parts.psi);
}

TEST_F(IfxStartUp, UnansweredPsiRequestFailsWithoutSendingThePsi) {
  Fail(FaultKind::kSilent, 0x62);
  EXPECT_EQ(flash.PSIRAMDownload(&link), 0);
  EXPECT_EQ(Log(), (Lines{"PSI RAM writing start", "Timeout error is occured", "error!", "#200"}));
  EXPECT_EQ(Commands(), Bytes{0x62});
  EXPECT_EQ(State().stage, InfineonModem::Stage::kBootRom);
}

TEST_F(IfxStartUp, RefusedPsiStopsTheTickerThenFails) {
  Fail(FaultKind::kRefuse, 0x65);
  EXPECT_EQ(flash.PSIRAMDownload(&link), 0);
  EXPECT_EQ(Log(),
            (Lines{"PSI RAM writing start", "#0", "#500", "Trying to communicate with IFX modem",
                   "Response is NAK", "#600", "error!", "#200"}));
}

TEST_F(IfxStartUp, EblGoesToTheRunningPsiAndIsRefusedWithoutIt) {
  EXPECT_EQ(flash.EBLDownload(&link), 0);  // the boot ROM has no PSI running yet
  EXPECT_EQ(Log(), (Lines{"EBL writing start", "#0", "#500", "Response is NAK", "#600",
                          "Start EBL error!", "#200"}));
  EXPECT_EQ(State().lastRefusal, "EBL while the PSI is not running");
  ASSERT_EQ(flash.PSIRAMDownload(&link), 1);
  Forget();
  EXPECT_EQ(flash.EBLDownload(&link), 1);
  EXPECT_EQ(Log(), (Lines{"EBL writing start", "#0", "#500", "Start EBL", "#100", "#600"}));
  EXPECT_EQ(Le(Headers().at(0), 6, 4), parts.ebl.size());
  EXPECT_EQ(phone.Inspect([](const InfineonModem& m) { return m.Ebl(); }), parts.ebl);
}

TEST_F(IfxStartUp, FullStartUpConfiguresTheEblWithTheImagesBootInformation) {
  EXPECT_EQ(flash.BasicIFXSetting(&link), 1);
  EXPECT_EQ(Codes(),
            (std::vector<intptr_t>{0, 500, 600, 100, 0, 500, 100, 600, 35, 40, 35, 45, 50}));
  EXPECT_EQ(window.Texts(),
            (Lines{"PSI RAM writing start", "Trying to communicate with IFX modem",
                   "Confirm IFX communication", "PSI RAM writing end", "Start PSI RAM ",
                   "EBL writing start", "Start EBL", "Set capabilities to be used",
                   "Baudrate Change: 115200bps ===> 3000000bps", "Set flash ID complete",
                   "Set Infineon CFI Information 1", "Set Infineon CFI Information 2"}));
  EXPECT_EQ(Commands(), (Bytes{0x62, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B}));
  const auto s = State();
  EXPECT_EQ(s.stage, InfineonModem::Stage::kEbl);
  EXPECT_TRUE(s.capabilities && s.flashIdSet && s.cfi1 && s.cfi2);
  EXPECT_EQ(s.baud, InfineonModem::kFastBaud);
  EXPECT_EQ(s.refusals, 0u);
  EXPECT_EQ(phone.Inspect([](const InfineonModem& m) { return m.BootInfo(); }), parts.bootInfo);
}

TEST_F(IfxStartUp, RefusedCapabilitiesStopAfterTheEblAndNeverChangeTheBaudRate) {
  Fail(FaultKind::kRefuse, 0x67);
  EXPECT_EQ(flash.BasicIFXSetting(&link), 0);
  const Lines log = Log();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(Lines(log.end() - 6, log.end()),
            (Lines{"Start EBL", "#100", "#600", "Response is NAK", "#200",
                   "fail to set capabilities to be used"}));
  EXPECT_EQ(Commands(), (Bytes{0x62, 0x65, 0x66, 0x67}));
  EXPECT_EQ(State().baud, InfineonModem::kLineBaud);
}

TEST_F(IfxStartUp, EachConfigurationStepReportsItsOwnFailure) {
  StartUp();
  const struct {
    int command;
    int (CBasicFlash::*step)(CMiscUtilComm*);
    Lines log;
  } cases[] = {
      {0x68,
       &CBasicFlash::IFXCommSet,
       {"Set capabilities to be used", "#35", "Response is NAK", "#200",
        "fail to change baudrate"}},
      {0x69, &CBasicFlash::SetIFXFlashID, {"Response is NAK", "Set Flash ID error!", "#200"}},
      {0x6A,
       &CBasicFlash::IFXReqCFIInfo_1,
       {"Response is NAK", "#200", "fail to set Infineon CFI Information 1"}},
      {0x6B,
       &CBasicFlash::IFXReqCFIInfo_2,
       {"Response is NAK", "#200", "fail to set Infineon CFI Information 2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Forget();
    Fail(FaultKind::kRefuse, c.command);
    EXPECT_EQ((flash.*c.step)(&link), 0);
    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(Commands().back(), c.command);
  }
}

TEST_F(IfxStartUp, SilentLoaderIsATimeOutOfTheStep) {
  StartUp();
  Fail(FaultKind::kSilent, 0x6B);
  EXPECT_EQ(flash.IFXReqCFIInfo_2(&link), 0);
  EXPECT_EQ(Log(),
            (Lines{"Timeout error is occured", "#200", "fail to set Infineon CFI Information 2"}));
}

TEST_F(IfxStartUp, LoaderShorterThanItsDescriptorIsRefusedBeforeAnyTraffic) {
  flash.m_Infineon.psiDesc[2] = static_cast<uint32_t>(flash.m_Infineon.psiImage.size() + 1);
  flash.m_Infineon.eblDesc[2] = static_cast<uint32_t>(flash.m_Infineon.eblImage.size() + 1);
  EXPECT_EQ(flash.PSIRAMDownload(&link), 0);
  EXPECT_EQ(flash.EBLDownload(&link), 0);
  EXPECT_EQ(Log(), (Lines{"No PSI of the size its descriptor gives: extract it first", "#200",
                          "No EBL of the size its descriptor gives: extract it first", "#200"}));
  EXPECT_TRUE(Commands().empty());
}

// --- security sequences ---------------------------------------------------------------------

using IfxSecurity = IfxPhone;

TEST_F(IfxSecurity, FlagsChooseTheEraseVariant) {
  StartUp();
  const struct {
    char sequence;
    uint32_t flags;
    Bytes commands;
  } cases[] = {
      {'A', 0, {0x6C, 0x6F}},
      {'A', 1, {0x6C, 0x6F}},
      {'A', 2, {0x6C, 0x6D, 0x6E, 0x6F}},
      {'A', 0xFFFFFFFF, {0x6C, 0x6D, 0x6E, 0x6F}},
      {'B', 2, {0x6C, 0x6F}},
      {'C', 0, {0x6C, 0x60, 0x6E, 0x6F}},
      {'C', 5, {0x6C, 0x60, 0x6E, 0x6F}},
      {'C', 2, {0x6C, 0x6F}},
      {'C', 0xFFFFFFFF, {0x6C, 0x6F}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.sequence) + " " + std::to_string(c.flags));
    Forget();
    const Bytes security = b::SecurityBlock(c.flags, static_cast<uint8_t>(c.sequence));
    std::memcpy(flash.m_Infineon.security, security.data(), security.size());
    const int result = c.sequence == 'A'   ? flash.IFXSecuritySettingA(&link, 1, c.flags)
                       : c.sequence == 'B' ? flash.IFXSecuritySettingB(&link, c.flags)
                                           : flash.IFXSecuritySettingC(&link, 4, c.flags);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Commands(), c.commands);
    EXPECT_EQ(phone.Inspect([](const InfineonModem& m) { return m.StartBlock(); }), security);
    EXPECT_EQ(Bytes(flash.m_Infineon.startReq, flash.m_Infineon.startReq + 2048), security);
  }
  EXPECT_EQ(State().refusals, 0u);
}

TEST_F(IfxSecurity, EraseVariantReportsItsProgress) {
  StartUp();
  EXPECT_EQ(flash.IFXSecuritySettingA(&link, 1, 2), 1);
  EXPECT_EQ(Log(), (Lines{"#55", "#60", "#65", "Erase was executed rightly!", "#70"}));
}

TEST_F(IfxSecurity, FailedStepEndsTheSequenceAtOnce) {
  StartUp();
  Fail(FaultKind::kRefuse, 0x6D);
  EXPECT_EQ(flash.IFXSecuritySettingA(&link, 1, 2), 0);
  EXPECT_EQ(Commands(), (Bytes{0x6C, 0x6D}));
  EXPECT_EQ(Log(), (Lines{"#55", "#60", "Response is NAK", "#200", "fail to erase"}));
  Forget();
  ASSERT_EQ(flash.IFXReqEnd(&link), 1);
  Forget();
  Fail(FaultKind::kRefuse, 0x6C);
  EXPECT_EQ(flash.IFXSecuritySettingC(&link, 4, 0), 0);
  EXPECT_EQ(Commands(), Bytes{0x6C});
  EXPECT_EQ(Log(), (Lines{"#55", "Response is NAK", "Req StartA error!", "#200"}));
}

// --- single programming steps ---------------------------------------------------------------

using IfxProgram = IfxPhone;

TEST_F(IfxProgram, StepsReportTheirMilestonesAndTheAddressComesFromTheSecurityBlock) {
  StartUp();
  const auto step = [&](int (CBasicFlash::*fn)(CMiscUtilComm*), const Lines& log) {
    Forget();
    EXPECT_EQ((flash.*fn)(&link), 1);
    EXPECT_EQ(Log(), log);
  };
  step(&CBasicFlash::IFXReqStartB, {"#55", "#60"});
  step(&CBasicFlash::IFXEraseAll, {"#65"});
  step(&CBasicFlash::IFXErase, {"#65"});
  step(&CBasicFlash::IFXEraseCheck, {"Erase was executed rightly!", "#70"});
  step(&CBasicFlash::IFXReqFlashSetAddress, {"Set FLASH address", "#90"});
  EXPECT_EQ(Le(Headers().at(0), 2, 4), kFlashAddress);
  EXPECT_EQ(State().address, kFlashAddress);
  step(&CBasicFlash::IFXReqEnd, {});
  EXPECT_EQ(phone.Inspect([](const InfineonModem& m) { return m.StartBlock(); }), parts.security);
  EXPECT_EQ(State().refusals, 0u);
}

TEST_F(IfxProgram, EachStepReportsItsFailure) {
  StartUp();
  const struct {
    int command;
    int (CBasicFlash::*step)(CMiscUtilComm*);
    Lines log;
  } cases[] = {
      {0x6C, &CBasicFlash::IFXReqStartA, {"#55", "Response is NAK", "Req StartA error!", "#200"}},
      {0x6C, &CBasicFlash::IFXReqStartB, {"#55", "Response is NAK", "Req StartB error!", "#200"}},
      {0x6D, &CBasicFlash::IFXEraseAll, {"Response is NAK", "#200", "fail to erase"}},
      {0x60, &CBasicFlash::IFXErase, {"Response is NAK", "#200", "fail to erase"}},
      {0x6E, &CBasicFlash::IFXEraseCheck, {"Response is NAK", "#200", "fail to erase"}},
      {0x70, &CBasicFlash::IFXReqFlashSetAddress, {"Response is NAK", "#200", "fail to end"}},
      {0x6F, &CBasicFlash::IFXReqEnd, {"Response is NAK", "#200", "fail to end"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Forget();
    Fail(FaultKind::kRefuse, c.command);
    EXPECT_EQ((flash.*c.step)(&link), 0);
    EXPECT_EQ(Log(), c.log);
  }
}

// --- code downloads -------------------------------------------------------------------------

// A phone inside start/address, ready for blocks of an image with `codeSize` bytes of code.
class IfxDownload : public IfxPhone {
 protected:
  void Prepare(size_t codeSize) {
    parts.code = b::Pattern(codeSize, static_cast<uint8_t>(codeSize));
    UseImage(parts);
    StartUp();
    ASSERT_EQ(flash.IFXReqStartB(&link), 1);
    ASSERT_EQ(flash.IFXReqFlashSetAddress(&link), 1);
    Forget();
  }
  Bytes Written() { return Flash(kFlashAddress, parts.code.size() + 1); }
  Bytes CodeThenErased() const {
    Bytes out = parts.code;
    out.push_back(0xFF);
    return out;
  }
};

TEST_F(IfxDownload, ExactlyOneBlockOfCode) {
  Prepare(2048);
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 1);
  EXPECT_EQ(Codes(), std::vector<intptr_t>{100});
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0][0], 0x61);
  EXPECT_EQ(Le(headers[0], 2, 2), ExpectedCheck(parts.code.data(), 2048));
  EXPECT_EQ(Le(headers[0], 2, 2),
            (CBasicFlash::IFX_CheckSumB(parts.code.data(), 2048) + 4100u) % 65536);
  EXPECT_EQ(Le(headers[0], 4, 2), 2048u);
  EXPECT_EQ(Le(headers[0], 6, 4), 2048u);
  EXPECT_EQ(Written(), CodeThenErased());
  EXPECT_EQ(flash.m_Infineon.codeDesc[4], 0u);
}

TEST_F(IfxDownload, OneByteMoreGoesOutAsAPaddedSecondBlock) {
  Prepare(2049);
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 1);
  EXPECT_EQ(Codes(), (std::vector<intptr_t>{99, 100}));
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 2u);
  const uint8_t last = parts.code.back();
  EXPECT_EQ(Le(headers[1], 2, 2), (last + 1u + 2052u) % 65536);
  EXPECT_EQ(Le(headers[1], 4, 2), 1u);
  EXPECT_EQ(Le(headers[1], 6, 4), 2048u);
  EXPECT_EQ(phone.Device().Requests().back().payloadLength, 2048u);
  // The phone refuses a block whose padding is not 0xFF, so its acceptance checks the tail.
  EXPECT_EQ(State().refusals, 0u);
  EXPECT_EQ(Written(), CodeThenErased());
}

// The extractor refuses an image without code; the step itself sends nothing for none.
TEST_F(IfxDownload, NoCodeSendsNothingAndSucceeds) {
  Prepare(1);
  flash.m_Infineon.codeDesc[4] = 0;
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 1);
  EXPECT_EQ(flash.IFXDownload(nullptr, &link), 1);  // nothing to read
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(IfxDownload, ProgressIsTheShareSentSoFar) {
  Prepare(5000);
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 1);
  EXPECT_EQ(Codes(), (std::vector<intptr_t>{40, 81, 100}));
  EXPECT_EQ(Written(), CodeThenErased());
}

TEST_F(IfxDownload, RefusedBlockEndsTheDownloadInsideTheBracket) {
  Prepare(5000);
  Fail(FaultKind::kRefuse, 0x61, 1);
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 0);
  EXPECT_EQ(Log(), (Lines{"#40", "Response is NAK", "error!", "#200"}));
  EXPECT_EQ(Commands(), (Bytes{0x61, 0x61}));
  EXPECT_EQ(flash.m_Infineon.codeDesc[4], 5000u - 2048u);  // what is still to send
  EXPECT_TRUE(State().started);
}

TEST_F(IfxDownload, CodeOutsideTheImageIsRefusedBeforeAnyBlock) {
  Prepare(3000);
  const uint32_t offset = flash.m_Infineon.codeDataOffset;
  flash.m_Infineon.codeDataOffset = offset + 1;  // the code would end one byte past the buffer
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 0);
  EXPECT_EQ(flash.IFXNormalDownloadB(image.buffer.data(), &link), 0);
  EXPECT_EQ(flash.IFXNormalDownload(image.buffer.data(), &link), 0);
  flash.m_Infineon.codeDataOffset = 0xFFFFFFFF;
  {
    testing_support::ScopedTimeScale fast(0.01);  // the 64 KiB download's fixed pause
    EXPECT_EQ(flash.IFXDownloadB(image.buffer.data(), &link), 0);
  }
  EXPECT_EQ(flash.IFXDownload(nullptr, &link), 0);
  const std::string outside = "Code points outside the image";
  EXPECT_EQ(Log(), (Lines{outside, "#200", outside, "#200", outside, "#200", outside, "#200",
                          "No image to download from", "#200"}));
  EXPECT_TRUE(Commands().empty());
  flash.m_Infineon.codeDataOffset = offset;  // the code ends exactly at the end of the buffer
  EXPECT_EQ(offset + 3000, image.buffer.size());
  EXPECT_EQ(flash.IFXDownload(image.buffer.data(), &link), 1);
}

class IfxDownload64k : public IfxDownload {
 protected:
  // The download's fixed 1000 ms pause runs 20 times faster; the loader's time-outs keep their
  // real length.
  IfxDownload64k() : fast_(0.05) {
    flash.SetDefaultTimeout(static_cast<uint32_t>(kTimeout / 0.05));
  }
  testing_support::ScopedTimeScale fast_;
};

TEST_F(IfxDownload64k, BlocksOf64KiBThenTheRestUnpadded) {
  Prepare(65537);
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(flash.IFXDownloadB(image.buffer.data(), &link), 1);
  EXPECT_GE(platform::TickCount() - t0, 1000u);
  EXPECT_EQ(Codes(), (std::vector<intptr_t>{99, 100}));
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 2u);
  for (const Bytes& h : headers) {
    EXPECT_EQ(h[0], 0x71);
    EXPECT_EQ(Le(h, 2, 4), 0u);
  }
  EXPECT_EQ(Le(headers[0], 6, 4), 65536u);
  EXPECT_EQ(Le(headers[1], 6, 4), 1u);
  EXPECT_EQ(Written(), CodeThenErased());
}

TEST_F(IfxDownload64k, NoCodeStillPausesAndSendsNothing) {
  Prepare(1);
  flash.m_Infineon.codeDesc[4] = 0;
  const uint64_t t0 = platform::TickCount();
  EXPECT_EQ(flash.IFXDownloadB(image.buffer.data(), &link), 1);
  EXPECT_GE(platform::TickCount() - t0, 1000u);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(IfxDownload64k, NormalDownloadsUseTheirBlockSizesAndWriteTheCode) {
  for (bool large : {true, false}) {
    SCOPED_TRACE(large ? "IFXNormalDownload" : "IFXNormalDownloadB");
    parts.code = b::Pattern(70000, large ? 1 : 2);
    UseImage(parts);
    if (large) StartUp();
    Forget();
    const int result = large ? flash.IFXNormalDownload(image.buffer.data(), &link)
                             : flash.IFXNormalDownloadB(image.buffer.data(), &link);
    EXPECT_EQ(result, 1);
    Bytes expected = {0x6C, 0x70};
    expected.insert(expected.end(), large ? 2 : 35, large ? 0x71 : 0x61);  // 70000 bytes
    expected.push_back(0x6F);
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Written(), CodeThenErased());
    EXPECT_EQ(flash.m_Infineon.codeDesc[4], 0u);
  }
  // The code length has been counted down: a second run brackets nothing.
  Forget();
  EXPECT_EQ(flash.IFXNormalDownloadB(image.buffer.data(), &link), 1);
  EXPECT_EQ(Commands(), (Bytes{0x6C, 0x70, 0x6F}));
}

}  // namespace
