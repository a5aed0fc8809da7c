// The ROM-copy (factory) download end to end: model.so loaded by path, DoFactoryDownload bound by
// name, a simulated TQ4410 with its OMAP download agent, its Infineon modem and the shared reset.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/sha256.h"
#include "sim/builders/infineon_builders.h"
// (keep this order)
#include "sim/builders/ap_builders.h"
#include "sim/infineon_modem.h"
#include "sim/model_phone.h"
#include "sim/omap_agent.h"
#include "sim/phone.h"
#include "sim/phone_control_model.h"
#include "support/message_boxes.h"
#include "support/plugin.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "support/time_scale.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::InfineonModem;

constexpr uint32_t kTimeout = 10000;

// An Infineon modem whose boot ROM takes over again when the host asks for it (a PSI request
// while its EBL runs), as after a power cycle: every factory file boots the modem afresh. Each
// boot keeps its own flash, so a test sees which file went where.
class RebootingModem : public phonesim::ChipModel {
 public:
  static constexpr uint8_t kPsiRequest = 0x62;

  RebootingModem() { boots_.push_back(std::make_unique<InfineonModem>()); }

  bool Takes(uint8_t command) const override { return boots_.back()->Takes(command); }
  size_t PayloadLength(const std::vector<uint8_t>& header) const override {
    return boots_.back()->PayloadLength(header);
  }
  phonesim::Reply Answer(const phonesim::Packet& request) override {
    if (request.Command() == kPsiRequest &&
        boots_.back()->State().stage == InfineonModem::Stage::kEbl) {
      boots_.push_back(std::make_unique<InfineonModem>());
    }
    return boots_.back()->Answer(request);
  }

  size_t Boots() const { return boots_.size(); }
  const InfineonModem& Boot(size_t i) const { return *boots_.at(i); }

 private:
  std::vector<std::unique_ptr<InfineonModem>> boots_;
};

b::IfxComponent Component(const std::string& name, uint32_t id, size_t codeSize, uint32_t address) {
  return b::IfxComponent{name,    id,   b::Pattern(codeSize, static_cast<uint8_t>(id * 13)),
                         address, true, true};
}

class RomCopy : public ::testing::Test {
 protected:
  RomCopy() {
    auto model = std::make_unique<phonesim::ModelPhone>();
    agent = &model->Add(std::make_unique<phonesim::OmapAgent>());
    modem = &model->Add(std::make_unique<RebootingModem>());
    control = &model->Add(
        std::make_unique<phonesim::PhoneControlModel>("TQ4410", std::array<uint8_t, 64>{}));
    phone = std::make_unique<phonesim::Phone>(std::move(model));
  }
  ~RomCopy() override { phone->Stop(); }

  static Bytes Fls(const std::vector<b::IfxComponent>& components) {
    b::IfxFactoryParts parts;
    parts.components = components;
    return b::BuildIfxFactory(parts);
  }
  std::string WriteFls(const std::string& name, const std::vector<b::IfxComponent>& components) {
    const std::string path = dir / name;
    EXPECT_TRUE(b::WriteFile(path, Fls(components)));
    return path;
  }
  std::string WriteBin(const std::string& name, const b::OmapFactoryBuilder& file) {
    const std::string path = dir / name;
    EXPECT_TRUE(file.WriteTo(path));
    return path;
  }
  int Run(const std::string& first, const std::string& second) {
    return plugin.DoFactoryDownload(&window, phone->PortNumber(), &first, &second, kTimeout, 0);
  }

  template <typename Fn>
  void Inspect(Fn fn) {
    phone->WithPersonality([&](phonesim::Personality&) { fn(); });
  }
  void ExpectWritten(size_t boot, const b::IfxComponent& c) {
    Inspect([&] {
      ASSERT_LT(boot, modem->Boots());
      EXPECT_EQ(modem->Boot(boot).Store().Read(c.flashAddress, c.code.size()), c.code) << c.name;
    });
  }
  Lines FileLines() const {
    Lines out;
    for (const auto& m : window.Messages()) {
      if (m.message == notify::kMsgNotify && m.wParam == notify::kFileLine) out.push_back(m.text);
    }
    return out;
  }
  int Resets() {
    int n = 0;
    Inspect([&] { n = control->Resets(); });
    return n;
  }

  testing_support::ScopedTimeScale fast{0.05};  // the waits of 2 s and 5 s take 100 and 250 ms
  testing_support::TempDir dir;
  testing_support::Plugin plugin;
  testing_support::RecordingWindow window;
  std::unique_ptr<phonesim::Phone> phone;
  phonesim::OmapAgent* agent = nullptr;
  RebootingModem* modem = nullptr;
  phonesim::PhoneControlModel* control = nullptr;
  testing_support::MessageBoxes boxes;
};

TEST_F(RomCopy, TwoModemFilesAreWrittenFirstThenSecondThenThePhoneResets) {
  const std::vector<b::IfxComponent> first = {Component("psi_boot", 1, 3000, 0x0),
                                              Component("V618_code", 2, 9000, 0x100000)};
  const std::vector<b::IfxComponent> second = {Component("V618_code", 3, 7000, 0x200000)};
  ASSERT_EQ(Run(WriteFls("first.fls", first), WriteFls("second.fls", second)), 1);
  EXPECT_EQ(FileLines(), (Lines{"first.fls", "second.fls"}));
  Inspect([&] { EXPECT_EQ(modem->Boots(), 2u); });
  ExpectWritten(0, first[0]);
  ExpectWritten(0, first[1]);
  ExpectWritten(1, second[0]);
  const Lines texts = window.Texts();
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(Lines(texts.begin(), texts.begin() + 2),
            (Lines{"Download Start...", "RomBinary Download start"}));
  EXPECT_EQ(Lines(texts.end() - 3, texts.end()),
            (Lines{"RomBinary Download success", "Target is resetting", "Download complete"}));
  EXPECT_EQ(window.Codes().back(), 400);
  EXPECT_EQ(Resets(), 1);
}

TEST_F(RomCopy, EmmcImageThenModemFile) {
  b::OmapFactoryBuilder emmc;
  emmc.Add({.imageSectors = 300, .areaSize = 1024, .seed = 5})
      .Add({.imageSectors = 7, .areaSize = 64, .seed = 6});
  const std::vector<b::IfxComponent> cp = {Component("AENEAS_fs", 4, 2048, 0x400000)};
  ASSERT_EQ(Run(WriteBin("emmc.bin", emmc), WriteFls("modem.fls", cp)), 1);
  EXPECT_EQ(FileLines(), (Lines{"emmc.bin", "modem.fls"}));
  // Each file is one step, sized by the partitions and code it carries.
  EXPECT_EQ(window.StepEnds(),
            (Lines{"5 0 emmc.bin 157184/157184 ok", "5 1 modem.fls 2048/2048 ok"}));
  Inspect([&] {
    const auto& parts = agent->Partitions();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].data, emmc.Image(0));
    EXPECT_EQ(parts[1].data, emmc.Image(1));
    EXPECT_EQ(modem->Boots(), 1u);
  });
  ExpectWritten(0, cp[0]);
  EXPECT_EQ(Resets(), 1);
  // The modem file is read out of order (every element header before any code), so its digest
  // ends where the first read skips ahead: after the first element's header.
  const Lines digests = window.DigestEnds();
  ASSERT_EQ(digests.size(), 2u);
  const std::string head = sha256::Hex(sha256::Of(Fls(cp).data(), b::kIfxHeaderSize));
  EXPECT_EQ(digests[1], "modem.fls " + head + " 12 partial");
}

TEST_F(RomCopy, OtherEndingsArePassedOverAndThePhoneStillResets) {
  b::OmapFactoryBuilder emmc;
  emmc.Add({.imageSectors = 3, .areaSize = 8, .seed = 1});
  WriteBin("EMMC.BIN", emmc);  // the endings are compared as they are
  const std::vector<b::IfxComponent> cp = {Component("psi", 1, 500, 0x0)};
  const std::string fls = WriteFls("modem.fls.img", cp);
  ASSERT_EQ(Run(dir / "EMMC.BIN", fls), 1);
  EXPECT_EQ(FileLines(), (Lines{"EMMC.BIN", "modem.fls.img"}));
  EXPECT_EQ(window.Texts(),
            (Lines{"Download Start...", "RomBinary Download start", "RomBinary Download success",
                   "Target is resetting", "Download complete"}));
  EXPECT_EQ(window.Codes(), (std::vector<platform::LPARAM>{0, 400}));
  const auto requests = phone->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body.at(0), 0x22);  // the reset alone
}

// A modem factory file cut where one element ends walks cleanly: what it holds decides.
TEST_F(RomCopy, ModemFileCutAtAnElementBoundaryFailsBeforeTheModemIsStarted) {
  const std::string path =
      WriteFls("modem.fls", {Component("psi", 1, 500, 0x0), Component("V618", 2, 900, 0x1000)});
  std::ifstream in(path, std::ios::binary);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = 0;  // the first code element: everything after the load list goes
  while (bytes::LoadLe32(&file[at]) != b::kIfxCode) at += bytes::LoadLe32(&file[at + 4]);
  file.resize(at);
  ASSERT_TRUE(b::WriteFile(path, file));
  EXPECT_EQ(Run(path, ""), 0);
  EXPECT_EQ(window.Texts().back(), "The factory file holds no code and security block for psi");
  EXPECT_EQ(window.Codes().back(), notify::kProgressFailed);
  Inspect([&] { EXPECT_EQ(modem->Boot(0).State().stage, InfineonModem::Stage::kBootRom); });
  EXPECT_EQ(Resets(), 0);
}

TEST_F(RomCopy, MissingPathsAreEmptyAndNothingButTheResetIsSent) {
  const std::string none;
  ASSERT_EQ(plugin.DoFactoryDownload(&window, phone->PortNumber(), nullptr, &none, kTimeout, 0), 1);
  EXPECT_EQ(FileLines(), (Lines{"", ""}));
  EXPECT_EQ(Resets(), 1);
}

TEST_F(RomCopy, FailingChipProcedureStopsBeforeTheSecondFileAndTheReset) {
  b::OmapFactoryBuilder bad;
  bad.Add({.imageSectors = 3, .areaSize = 8, .seed = 1}).Magic(0x12345678);
  const std::vector<b::IfxComponent> cp = {Component("psi", 1, 500, 0x0)};
  EXPECT_EQ(Run(WriteBin("emmc.bin", bad), WriteFls("modem.fls", cp)), 0);
  EXPECT_EQ(FileLines(), Lines{"emmc.bin"});
  const Lines texts = window.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "RomBinary Download success"), 0);
  EXPECT_EQ(Resets(), 0);
  Inspect([&] { EXPECT_EQ(modem->Boot(0).State().stage, InfineonModem::Stage::kBootRom); });
}

TEST_F(RomCopy, RefusedResetIsAFailure) {
  phone->InjectFault(phonesim::Fault{.kind = phonesim::FaultKind::kRefuse, .command = 0x22});
  EXPECT_EQ(Run("", ""), 0);
  const Lines texts = window.Texts();
  EXPECT_EQ(texts.back(), "We can't reset phone");
  EXPECT_EQ(window.Codes().back(), 200);
}

TEST_F(RomCopy, NoWindowOpensNoPort) {
  EXPECT_EQ(plugin.DoFactoryDownload(nullptr, phone->PortNumber(), nullptr, nullptr, kTimeout, 0),
            0);
  EXPECT_EQ(boxes.Texts(), Lines{"We can't find program!"});
  EXPECT_TRUE(phone->Requests().empty());
}

}  // namespace
