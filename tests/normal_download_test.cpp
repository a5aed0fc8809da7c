// The normal download end to end: model.so loaded by path, DoDownload bound by name, a simulated
// TQ4410 (OMAP download agent, Infineon modem, resets) on a pseudo-terminal, real files.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/sha256.h"
#include "sim/builders/infineon_builders.h"
#include "sim/infineon_modem.h"
#include "sim/model_phone.h"
#include "sim/omap_agent.h"
#include "sim/phone.h"
#include "sim/phone_control_model.h"
#include "support/infineon_lines.h"
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
namespace builders = phonesim::builders;

constexpr uint32_t kTimeout = 300;  // doubled by DoDownload

Bytes Data(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 9)) & 0xFF);
  return b;
}

const char* kConfig =
    "[device]\n"
    "Total_size = 0x3A6065\n"
    "[partition]\n"
    "name=boot\n"
    "size=0x20000\n"
    "filename=boot.img\n"
    "[partition]\n"
    "name=system\n"
    "size=0x100000\n"
    "filename=system.img\n"
    "[partition]\n"
    "name=userdata\n"
    "size=0x10000\n"
    "[end]\n";

struct IfxFile {
  std::string name;
  uint32_t address;
  Bytes code;
};

class NormalDownload : public ::testing::Test {
 protected:
  NormalDownload() { NewPhone(); }
  ~NormalDownload() override { phone->Stop(); }

  // A phone fresh from the factory: empty stores, no faults.
  void NewPhone() {
    if (phone) phone->Stop();
    phone.reset();
    auto model = std::make_unique<phonesim::ModelPhone>();
    agent = &model->Add(std::make_unique<phonesim::OmapAgent>());
    modem = &model->Add(std::make_unique<phonesim::InfineonModem>());
    std::array<uint8_t, 64> pid{};
    control = &model->Add(std::make_unique<phonesim::PhoneControlModel>("TQ4410", pid));
    phone = std::make_unique<phonesim::Phone>(std::move(model));
  }

  std::string Write(const std::string& name, const Bytes& content) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    files.push_back({path, content});
    return path;
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    return Write(name, Bytes(text.begin(), text.end()));
  }
  // An Infineon image file: the element area (the image buffer without its length word).
  void WriteIfx(const std::string& name, uint32_t address, uint8_t seed) {
    builders::IfxImageParts parts;
    parts.code = builders::Pattern(3000 + size_t{seed} * 100, seed);
    parts.security = builders::SecurityBlock(address, seed);
    const builders::IfxImage image = builders::BuildIfxImage(parts);
    Write(name, Bytes(image.buffer.begin() + 4, image.buffer.end()));
    ifx.push_back({name, address, parts.code});
  }
  void WriteStandardSet() {
    WriteText("partition.cfg", kConfig);
    Write("boot.img", Data(100000, 1));    // not a whole number of sectors
    Write("system.img", Data(600000, 2));  // more than one 512 KiB block
    WriteIfx("TQ4410_psi.fls", 0x00000000, 1);
    WriteIfx("TQ4410_slb.fls", 0x00100000, 2);
    WriteIfx("V618_code.fls", 0x00200000, 3);
    WriteIfx("TQ4410_AENEAS.fls", 0x00300000, 4);
  }

  // The host's image buffers: a 32-bit length, then the file.
  // The lines the window received, for a failure message.
  std::string Transcript() const {
    std::string out;
    for (const std::string& line : window_.Log()) out += "\n  " + line;
    for (const auto& e : phone->Transcript()) {
      char head[64];
      std::snprintf(head, sizeof head, "\n  %s %s %02x len %zu pay %zu %s",
                    e.direction == phonesim::TranscriptEntry::Direction::kIn ? "in " : "out",
                    e.framed ? "frame" : "raw", e.body.empty() ? 0 : e.body[0], e.body.size(),
                    e.payloadLength, e.note.c_str());
      out += head;
    }
    return out;
  }

  int Run(uint32_t options, platform::WindowHandle window = nullptr, int port = -1) {
    images.clear();
    pointers.assign(20, nullptr);
    paths.clear();
    for (const auto& f : files) {
      Bytes image(4 + f.content.size());
      const uint32_t n = static_cast<uint32_t>(f.content.size());
      bytes::StoreLe32(image.data(), n);
      std::copy(f.content.begin(), f.content.end(), image.begin() + 4);
      images.push_back(std::move(image));
      paths.push_back(f.path);
    }
    for (size_t i = 0; i < images.size(); ++i) pointers[i] = images[i].data();
    return plugin.DoDownload(window ? window : &window_, port < 0 ? phone->PortNumber() : port,
                             pointers.data(), static_cast<int>(files.size()), &paths, kTimeout,
                             options);
  }

  const Bytes& Content(const std::string& name) const {
    for (const auto& f : files) {
      if (f.path == dir / name) return f.content;
    }
    throw std::runtime_error("no file " + name);
  }

  template <typename Fn>
  void Inspect(Fn fn) {
    phone->WithPersonality([&](phonesim::Personality&) { fn(); });
  }

  void ExpectPartitionsWritten(const std::vector<std::string>& names) {
    Inspect([&] {
      const auto& parts = agent->Partitions();
      ASSERT_EQ(parts.size(), names.size());
      for (size_t i = 0; i < names.size(); ++i) {
        const Bytes& want = Content(names[i]);
        const Bytes& got = parts[i].data;
        ASSERT_GE(got.size(), want.size()) << names[i];
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << names[i];
        EXPECT_EQ(got.size() % 512, 0u) << names[i];  // the last block is padded to a sector
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(want.size()), got.end(),
                                [](uint8_t b) { return b == 0; }))
            << names[i];
        EXPECT_EQ(parts[i].id, 70);
      }
    });
  }

  void ExpectNorWritten() {
    Inspect([&] {
      for (const IfxFile& f : ifx) {
        EXPECT_EQ(modem->Store().Read(f.address, f.code.size()), f.code) << f.name;
      }
    });
  }

  testing_support::TempDir dir;
  testing_support::Plugin plugin;
  testing_support::RecordingWindow window_;
  std::unique_ptr<phonesim::Phone> phone;
  phonesim::OmapAgent* agent = nullptr;
  phonesim::InfineonModem* modem = nullptr;
  phonesim::PhoneControlModel* control = nullptr;
  struct File {
    std::string path;
    Bytes content;
  };
  std::vector<File> files;
  std::vector<IfxFile> ifx;
  std::vector<Bytes> images;
  std::vector<uint8_t*> pointers;
  std::vector<std::string> paths;
  testing_support::MessageBoxes boxes;
};

const Lines& kInfineonBoot = testing_support::kInfineonStartUpLines;

std::string DigestOf(const Bytes& bytes, size_t length) {
  return sha256::Hex(sha256::Of(bytes.data(), length));
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(NormalDownload, WritesEveryPartitionAndModemImageThenResets) {
  WriteStandardSet();
  ASSERT_EQ(Run(0), 1) << Transcript();
  const Lines expected = Join(
      {{"Download Start...", "CFG Download start", "EMMC download start",
        "Start Address: 0, Partition length: 131072", "Success to erase", "boot.img  writing start",
        "boot.img  Download success", "Start Address: 131072, Partition length: 1048576",
        "Success to erase", "system.img  writing start", "system.img  Download success"},
       kInfineonBoot,
       {"PSI Download start", "Set FLASH address", "PSI Download success", "SLB Download start",
        "Set FLASH address", "SLB Download success", "Code Download start",
        "Erase was executed rightly!", "Set FLASH address", "Code Download success",
        "Aeneas Download start", "Erase was executed rightly!", "Set FLASH address",
        "Aeneas Download success", "Target is resetting", "Download complete"}});
  EXPECT_EQ(window_.Texts(), expected);
  const auto codes = window_.Codes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), 0);
  EXPECT_EQ(codes.back(), notify::kProgressComplete);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), notify::kProgressFailed), 0);
  ExpectPartitionsWritten({"boot.img", "system.img"});
  ExpectNorWritten();
  // Steps name the caller's files by their index and count what the phone acknowledged.
  EXPECT_EQ(window_.StepEnds(),
            (Lines{"1 0 partition.cfg 0/0 ok", "3 1 boot.img 100000/100000 ok",
                   "3 2 system.img 600000/600000 ok", "4 3 PSI 3100/3100 ok",
                   "4 4 SLB 3200/3200 ok", "4 5 Code 3300/3300 ok", "4 6 Aeneas 3400/3400 ok"}));
  // The partitions stream from disk and carry their files' digests; the configuration and the
  // modem images came in the host's buffers, which the host hashes itself.
  const std::string boot = DigestOf(Content("boot.img"), 100000);
  const std::string system = DigestOf(Content("system.img"), 600000);
  EXPECT_EQ(window_.DigestEnds(),
            (Lines{"partition.cfg  0 whole", "boot.img " + boot + " 100000 whole",
                   "system.img " + system + " 600000 whole", "PSI  0 whole", "SLB  0 whole",
                   "Code  0 whole", "Aeneas  0 whole"}));
  Inspect([&] {
    EXPECT_EQ(control->Resets(), 1);
    EXPECT_EQ(agent->Starts(), 1);
    ASSERT_EQ(agent->Erases().size(), 2u);  // each written partition, just before it
    EXPECT_EQ(agent->Erases()[1].start, 131072u);
    EXPECT_EQ(agent->Erases()[1].length, 1048576u);  // bytes: the device is large
  });
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(NormalDownload, TotalEraseErasesEveryPartitionOnceAndUserDataByName) {
  WriteStandardSet();
  ASSERT_EQ(Run(1 | 4), 1) << Transcript();
  const Lines texts = window_.Texts();
  const Lines head(texts.begin(), texts.begin() + 11);
  EXPECT_EQ(head, (Lines{"Download Start...", "CFG Download start", "EMMC download start",
                         "Start total erase", "Success to erase", "Success to erase",
                         "Success to erase", "End total erase", "Success to erase",
                         "End user erase", "Start Address: 0, Partition length: 131072"}));
  Inspect([&] {
    const auto& erases = agent->Erases();
    ASSERT_EQ(erases.size(), 4u);  // three in the total erase, userdata, none before writing
    EXPECT_EQ(erases[2].start, 0x120000u);
    EXPECT_EQ(erases[3].start, 0x120000u);
    EXPECT_EQ(erases[3].length, 0x10000u);
  });
  ExpectPartitionsWritten({"boot.img", "system.img"});
}

TEST_F(NormalDownload, ModemEraseFlagReachesTheSecuritySteps) {
  WriteStandardSet();
  ASSERT_EQ(Run(2), 1) << Transcript();
  Inspect([&] {
    EXPECT_EQ(modem->State().eraseAlls, 1u);  // the PSI's security step erases everything
    EXPECT_EQ(modem->State().erases, 0u);     // and code and Aeneas no longer erase areas
  });
  ExpectNorWritten();
}

TEST_F(NormalDownload, WithoutConfigurationOnlyTheModemIsWritten) {
  WriteIfx("TQ4410_psi.fls", 0, 1);
  Write("boot.img", Data(1000, 1));
  ASSERT_EQ(Run(1), 1) << Transcript();  // the total erase needs a configuration: nothing to erase
  const Lines texts = window_.Texts();
  EXPECT_EQ(texts[1], "EMMC download start");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Start total erase"), 0);
  Inspect([&] {
    EXPECT_EQ(agent->Starts(), 1);
    EXPECT_TRUE(agent->Partitions().empty());
    EXPECT_TRUE(agent->Erases().empty());
  });
  ExpectNorWritten();
}

TEST_F(NormalDownload, OnlyTheFirstConfigurationCountsAndUnmatchedPartitionsAreSkipped) {
  WriteText("a.cfg",
            "[device]\nTotal_size=3825764\n"
            "[partition]\nname=boot\nsize=64\nfilename=boot.img\n"
            "[partition]\nname=missing\nsize=8\nfilename=missing.img\n"
            "[partition]\nname=last\nsize=8\nfilename=BOOT.IMG");  // a last line without its end
  WriteText("b.cfg", "[broken");
  Write("boot.img", Data(5000, 3));
  Write("BOOT.IMG", Data(10, 4));
  ASSERT_EQ(Run(0), 1) << Transcript();
  const Lines texts = window_.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CFG Download start"), 1);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Start Address: 0, Partition length: 64"),
            texts.end());
  Inspect([&] {
    ASSERT_EQ(agent->Partitions().size(), 2u);
    EXPECT_EQ(agent->Partitions()[0].size, 64u * 512u);  // 3825764: sizes count sectors
    ASSERT_EQ(agent->Erases().size(), 2u);               // the unmatched one is not erased
    EXPECT_EQ(agent->Erases()[0].length, 64u * 512u);
    EXPECT_EQ(agent->Erases()[1].length, 8u * 512u);
  });
  ExpectPartitionsWritten({"boot.img", "BOOT.IMG"});  // names match case for case
}

TEST_F(NormalDownload, UserDataEraseWithoutSuchPartitionStopsBeforeWriting) {
  WriteText("partition.cfg", "[device]\n[partition]\nname=boot\nsize=8\nfilename=boot.img\n[x]\n");
  Write("boot.img", Data(4096, 1));
  EXPECT_EQ(Run(4), 0);
  const Lines texts = window_.Texts();
  EXPECT_EQ(texts.back(), "We can't find the userdata partition to erase");
  EXPECT_EQ(window_.Codes().back(), notify::kProgressFailed);
  Inspect([&] {
    EXPECT_TRUE(agent->Partitions().empty());
    EXPECT_TRUE(agent->Erases().empty());
    EXPECT_EQ(control->Resets(), 0);
  });
}

TEST_F(NormalDownload, BrokenConfigurationStopsWithItsReason) {
  WriteText("partition.cfg", "[partition]\nname=boot\n[device]\n");
  EXPECT_EQ(Run(0), 0);
  EXPECT_EQ(window_.Texts().back(), "A partition comes before any device in the configuration");
  EXPECT_EQ(window_.Codes(), (std::vector<platform::LPARAM>{0, notify::kProgressFailed}));
  // A configuration the host could not read comes as a null image.
  window_.Clear();
  const std::vector<std::string> unread = {dir / "partition.cfg"};
  std::vector<uint8_t*> none(20, nullptr);
  EXPECT_EQ(plugin.DoDownload(&window_, phone->PortNumber(), none.data(), 1, &unread, kTimeout, 0),
            0);
  EXPECT_EQ(window_.Texts().back(), "We can't read " + unread[0]);
  EXPECT_EQ(window_.Codes(), (std::vector<platform::LPARAM>{0, notify::kProgressFailed}));
  Inspect([&] { EXPECT_EQ(agent->Starts(), 0); });
}

// Ranges are refused in the configuration step, before the agent is started or anything erased.
TEST_F(NormalDownload, RangesThePhoneCannotAddressStopTheRunBeforeAnythingIsWritten) {
  struct Case {
    const char* config;
    const char* line;
  };
  const Case cases[] = {
      {"[device]\nTotal_size=0x3A6065\n[partition]\nname=boot\nsize=0xFFFFFFFF\n"
       "filename=boot.img\n[x]\n",
       "Partition boot runs past the device's total size"},
      {"[device]\nTotal_size=0xFFFFFFFF\n[partition]\nname=a\nsize=0xF0000000\n"
       "[partition]\nname=boot\nsize=0x20000000\nfilename=boot.img\n[x]\n",
       "Partition boot runs past the 32-bit addresses of the phone"},
      {"[device]\nTotal_size=3825764\n[partition]\nname=boot\nsize=0x800000\n"
       "filename=boot.img\n[x]\n",  // 8 Mi sectors: 4 GiB
       "Partition boot is too large for a 32-bit length in bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    files.clear();
    window_.Clear();
    WriteText("partition.cfg", c.config);
    Write("boot.img", Data(4096, 1));
    EXPECT_EQ(Run(4 | 1), 0);
    ASSERT_FALSE(window_.Texts().empty());
    EXPECT_EQ(window_.Texts().back(), c.line);
    EXPECT_EQ(window_.Codes().back(), notify::kProgressFailed);
    Inspect([&] {
      EXPECT_EQ(agent->Starts(), 0);
      EXPECT_TRUE(agent->Erases().empty());
    });
  }
}

TEST_F(NormalDownload, ModemImageWithoutItsCodeElementFailsBeforeItsStep) {
  WriteText("partition.cfg", kConfig);
  // Loaders and security block, cut where the code element would begin.
  const builders::IfxImage image = builders::BuildIfxImage({});
  Write(
      "TQ4410_psi.fls",
      Bytes(image.buffer.begin() + 4,
            image.buffer.begin() + static_cast<long>(image.codeDescAt - builders::kIfxHeaderSize)));
  EXPECT_EQ(Run(0), 0);
  EXPECT_EQ(window_.Texts().back(), "The image holds no code element to write");
  EXPECT_EQ(window_.Codes().back(), notify::kProgressFailed);
  EXPECT_EQ(window_.StepEnds().back(), "4 1 PSI 0/0 failed");
  Inspect([&] {
    EXPECT_EQ(modem->State().stage, phonesim::InfineonModem::Stage::kBootRom);
    EXPECT_EQ(control->Resets(), 0);
  });
}

// Cuts a file short as soon as a line arrives: the file changes while the run goes on.
class TruncatingWindow : public testing_support::RecordingWindow {
 public:
  TruncatingWindow(std::string when, std::string path) : when_(std::move(when)), path_(path) {}
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    const platform::LRESULT result = RecordingWindow::HandleMessage(message, wParam, lParam);
    if (message == notify::kMsgNotify && wParam == notify::kStatusText &&
        reinterpret_cast<const char*>(lParam) == when_) {
      std::filesystem::resize_file(path_, 1000);
    }
    return result;
  }

 private:
  std::string when_;
  std::string path_;
};

TEST_F(NormalDownload, PartitionFileThatShrankSinceTheRunStartedFailsItsPartition) {
  WriteStandardSet();
  TruncatingWindow window("boot.img  Download success", dir / "system.img");
  EXPECT_EQ(Run(0, &window), 0);
  const Lines texts = window.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2],
            dir / "system.img" + " has changed: 600000 bytes when the run started, 1000 now");
  EXPECT_EQ(texts.back(), "system.img  Download fail");
  EXPECT_EQ(window.Codes().back(), notify::kProgressFailed);
  EXPECT_EQ(window.StepEnds().back(), "3 2 system.img 0/600000 failed");
  Inspect([&] { EXPECT_EQ(agent->Partitions().size(), 1u); });
}

// Rewrites a file, keeping its length, as soon as the phone has acknowledged part of it.
class RewritingWindow : public testing_support::RecordingWindow {
 public:
  RewritingWindow(std::string name, std::string path, Bytes content)
      : name_(std::move(name)), path_(std::move(path)), content_(std::move(content)) {}
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    const platform::LRESULT result = RecordingWindow::HandleMessage(message, wParam, lParam);
    const notify::StepNotice* n = message == notify::kMsgNotify && wParam == notify::kStepNotice
                                      ? notify::StepNoticeOf(lParam)
                                      : nullptr;
    if (n != nullptr && n->phase == notify::StepPhase::kAdvance && n->name == name_ && !done_) {
      // In place, never cut short: the stream reads ahead, and a read that met the file
      // truncated would fail it as unreadable instead.
      std::fstream(path_, std::ios::binary | std::ios::in | std::ios::out)
          .write(reinterpret_cast<const char*>(content_.data()),
                 static_cast<std::streamsize>(content_.size()));
      done_ = true;
    }
    return result;
  }

 private:
  std::string name_, path_;
  Bytes content_;
  bool done_ = false;
};

// The phone would hold the first block of one version and the rest of another.
TEST_F(NormalDownload, PartitionFileRewrittenWhileItIsWrittenFailsItsPartition) {
  WriteStandardSet();
  RewritingWindow window("system.img", dir / "system.img", Data(600000, 9));
  EXPECT_EQ(Run(0, &window), 0);
  EXPECT_EQ(window.Texts().back(), "system.img  changed while it was written");
  EXPECT_EQ(window.Codes().back(), notify::kProgressFailed);
  const Lines steps = window.StepEnds();
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.back().rfind("3 2 system.img ", 0), 0u);
  EXPECT_EQ(steps.back().substr(steps.back().size() - 6), "failed");
  Inspect([&] { EXPECT_EQ(control->Resets(), 0); });
}

// The phone refuses the fifth 0x6C: the security bracket of the code image, whose erase is then
// never done. The image is not written into unerased flash, and the run stops there.
TEST_F(NormalDownload, ARefusedSecurityBracketStopsTheRunBeforeItsImage) {
  WriteStandardSet();
  phone->InjectFault({.kind = FaultKind::kRefuse, .command = 0x6C, .skip = 4});
  EXPECT_EQ(Run(0), 0);
  const Lines texts = window_.Texts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(Lines(texts.end() - 4, texts.end()), (Lines{"Code Download start", "Response is NAK",
                                                        "Req StartA error!", "Code Download fail"}))
      << Transcript();
  EXPECT_EQ(window_.Codes().back(), notify::kProgressFailed);
  EXPECT_EQ(window_.StepEnds().back().rfind("4 5 Code ", 0), 0u);
  Inspect([&] {
    EXPECT_EQ(modem->Store().Read(ifx[1].address, ifx[1].code.size()), ifx[1].code);  // SLB
    EXPECT_NE(modem->Store().Read(ifx[2].address, ifx[2].code.size()), ifx[2].code);  // Code
    EXPECT_EQ(control->Resets(), 0);
  });
}

TEST_F(NormalDownload, FailuresEndWithTheirLinesThePortClosedAndNoReset) {
  struct Case {
    const char* name;
    Fault fault;
    std::string lastLine;
    std::string lastStep;  // how the last step ended
  };
  const std::vector<Case> cases = {
      {"agent refuses to start",
       {.kind = FaultKind::kRefuse, .command = 0x01},
       "error!",
       "1 0 partition.cfg 0/0 ok"},
      {"data block unanswered",
       {.kind = FaultKind::kSilent, .command = 0x02, .skip = 1},
       "system.img  Download fail",
       "3 2 system.img 0/600000 failed"},
      {"PSI request refused",
       {.kind = FaultKind::kRefuse, .command = 0x62},
       "error!",
       "4 3 PSI 0/0 failed"},
      {"code block refused",
       {.kind = FaultKind::kRefuse, .command = 0x61, .skip = 3},
       "SLB Download fail",
       "4 4 SLB 2048/3200 failed"},
      {"phone vanishes in the middle of the second partition",
       {.kind = FaultKind::kVanishReceiving, .afterBytes = 400000},
       "system.img  Download fail",
       "3 2 system.img 0/600000 failed"},
  };
  WriteStandardSet();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window_.Clear();
    NewPhone();
    phone->InjectFault(c.fault);
    EXPECT_EQ(Run(0), 0);
    const Lines texts = window_.Texts();
    ASSERT_FALSE(texts.empty());
    if (!c.lastLine.empty()) {
      EXPECT_EQ(texts.back(), c.lastLine) << Transcript();
    }
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Target is resetting"), 0);
    Inspect([&] { EXPECT_EQ(control->Resets(), 0); });
    const Lines steps = window_.StepEnds();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), c.lastStep);
  }
}

// The phone refuses system.img's first block: the step read that block and no more, and says so.
TEST_F(NormalDownload, APartitionThatFailsMidwayReportsTheDigestOfWhatItRead) {
  WriteStandardSet();
  phone->InjectFault({.kind = FaultKind::kRefuse, .command = 0x02, .skip = 1});
  EXPECT_EQ(Run(0), 0);
  const Lines ends = window_.DigestEnds();
  ASSERT_FALSE(ends.empty());
  EXPECT_EQ(ends.back(),
            "system.img " + DigestOf(Content("system.img"), 524288) + " 524288 partial");
}

TEST_F(NormalDownload, NoWindowNoPortAndAnUnopenablePort) {
  WriteStandardSet();
  images.clear();
  std::vector<std::string> none;
  EXPECT_EQ(plugin.DoDownload(nullptr, phone->PortNumber(), nullptr, 0, &none, kTimeout, 0), 0);
  EXPECT_EQ(boxes.Texts(), Lines{"We can't find program!"});
  EXPECT_TRUE(phone->Requests().empty());  // no port was opened

  EXPECT_EQ(Run(0, nullptr, 254), 0);  // nothing bound to that number
  EXPECT_EQ(window_.Texts(),
            (Lines{"Download Start...", "We can't communicate with specific port"}));
  EXPECT_EQ(window_.Codes(), (std::vector<platform::LPARAM>{0, notify::kProgressFailed}));
}

}  // namespace

namespace {

TEST_F(NormalDownload, FileLargerThanItsPartitionIsNotWritten) {
  WriteText("partition.cfg",
            "[device]\nTotal_size=0x3A6065\n[partition]\nname=boot\nsize=4096\n"
            "filename=boot.img\n[partition]\nname=next\nsize=4096\n[x]\n");
  Write("boot.img", Data(4097, 1));
  EXPECT_EQ(Run(0), 0);
  EXPECT_EQ(window_.Texts().back(), "boot.img  is larger than its partition");
  Inspect([&] {
    EXPECT_TRUE(agent->Partitions().empty());
    EXPECT_TRUE(agent->Erases().empty());
  });
}

}  // namespace
