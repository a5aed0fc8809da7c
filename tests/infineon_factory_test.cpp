// The Infineon factory download: a whole factory file, streamed from disk, into a simulated
// Infineon phone.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/notify.h"
#include "sim/builders/infineon_builders.h"
#include "sim/infineon_modem.h"
#include "support/host_side.h"
#include "support/infineon_lines.h"
#include "support/recording_window.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::InfineonModem;

constexpr uint32_t kTimeout = 300;

const Lines& kStartUpLines = testing_support::kInfineonStartUpLines;

Lines operator+(Lines a, const Lines& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

// A file that exists for one test.
class TempFile {
 public:
  explicit TempFile(const Bytes& bytes) {
    // Test processes may run side by side: the name must not depend on the test alone.
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("ifx_factory_" + std::to_string(random()) + "_" + std::to_string(random()) + ".bin");
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path_.string());
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const char* Path() const { return path_.c_str(); }

 private:
  std::filesystem::path path_;
};

b::IfxComponent Component(const std::string& name, uint32_t id, size_t codeSize, uint32_t address) {
  return b::IfxComponent{name,    id,   b::Pattern(codeSize, static_cast<uint8_t>(id * 17)),
                         address, true, true};
}

class IfxFactory : public ::testing::Test, protected testing_support::HostSide {
 protected:
  IfxFactory() { Open(phone.PortNumber()); }
  ~IfxFactory() override { link.Close(); }

  int Download(const Bytes& file, uint32_t flags = 0) {
    TempFile temp(file);
    return flash.IFXFactoryDownload(temp.Path(), &link, flags);
  }
  // The commands after the start-up (its eight commands are checked on their own).
  Bytes CommandsAfterStartUp() const {
    const auto all = phone.Device().Requests();
    Bytes out;
    for (size_t i = 8; i < all.size(); ++i) out.push_back(all[i].body.at(0));
    return out;
  }
  Bytes AllCommands() const {
    Bytes out;
    for (const auto& r : phone.Device().Requests()) out.push_back(r.body.at(0));
    return out;
  }
  Lines Log() const {
    Lines out;
    for (const auto& m : window.Messages()) {
      out.push_back(m.wParam == notify::kStatusText ? m.text : "#" + std::to_string(m.value));
    }
    return out;
  }
  Bytes Flash(uint32_t address, size_t n) {
    return phone.Inspect([&](const InfineonModem& m) { return m.Store().Read(address, n); });
  }
  // The component's code at its address, and erased flash right after it.
  void ExpectWritten(const b::IfxComponent& c) {
    Bytes expected = c.code;
    expected.push_back(0xFF);
    EXPECT_EQ(Flash(c.flashAddress, c.code.size() + 1), expected) << c.name;
  }
  void Fail(FaultKind kind, int command, unsigned skip = 0) {
    phone.Device().InjectFault(Fault{.kind = kind, .command = command, .skip = skip});
  }

  phonesim::InfineonPhone phone;
};

// Bracket of one component: security sequence, then start B, address, blocks, end.
Bytes Bracket(Bytes security, size_t blocks) {
  Bytes out = std::move(security);
  out.insert(out.end(), {0x6C, 0x70});
  out.insert(out.end(), blocks, 0x61);
  out.push_back(0x6F);
  return out;
}

TEST_F(IfxFactory, EveryKnownComponentIsWrittenWithItsOwnSequence) {
  b::IfxFactoryParts parts;
  parts.components = {
      Component("psi_area", 1, 3000, 0x0), Component("slb_loader", 2, 5000, 0x20000),
      Component("V618_main_code", 3, 10000, 0x100000), Component("AENEAS_fs", 4, 2048, 0x400000),
      Component("nv_data", 5, 4000, 0x500000)};
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 1);
  EXPECT_EQ(window.Texts(),
            (kStartUpLines +
             Lines{"PSI Download start", "Set FLASH address", "PSI Download success",
                   "SLB Download start", "Set FLASH address", "SLB Download success",
                   "Code Download start", "Erase was executed rightly!", "Set FLASH address",
                   "Code Download success", "Aeneas Download start", "Erase was executed rightly!",
                   "Set FLASH address", "Aeneas Download success"}));
  Bytes expected = Bracket({0x6C, 0x6F}, 2);
  const Bytes slb = Bracket({0x6C, 0x6F}, 3);
  const Bytes code = Bracket({0x6C, 0x60, 0x6E, 0x6F}, 5);
  const Bytes aeneas = Bracket({0x6C, 0x60, 0x6E, 0x6F}, 1);
  for (const Bytes* part : {&slb, &code, &aeneas}) {
    expected.insert(expected.end(), part->begin(), part->end());
  }
  EXPECT_EQ(CommandsAfterStartUp(), expected);
  for (size_t i = 0; i < 4; ++i) ExpectWritten(parts.components[i]);
  EXPECT_EQ(Flash(0x500000, 4), Bytes(4, 0xFF));  // "nv_data" matches no rule
  phone.Inspect([&](const InfineonModem& m) {
    EXPECT_EQ(m.Psi(), parts.psi);
    EXPECT_EQ(m.Ebl(), parts.ebl);
    EXPECT_EQ(m.BootInfo(), parts.bootInfo);
    EXPECT_EQ(m.State().refusals, 0u);
    return 0;
  });
}

TEST_F(IfxFactory, EraseFlagMakesPsiEraseEverythingAndCodeSkipItsErase) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 100, 0x0), Component("V618", 2, 100, 0x10000)};
  EXPECT_EQ(Download(b::BuildIfxFactory(parts), 2), 1);
  const Bytes expected = [] {
    Bytes out = Bracket({0x6C, 0x6D, 0x6E, 0x6F}, 1);
    const Bytes code = Bracket({0x6C, 0x6F}, 1);
    out.insert(out.end(), code.begin(), code.end());
    return out;
  }();
  EXPECT_EQ(CommandsAfterStartUp(), expected);
  ExpectWritten(parts.components[0]);
  ExpectWritten(parts.components[1]);
}

TEST_F(IfxFactory, ComponentNamesChooseByTheFirstRuleCaseSensitively) {
  b::IfxFactoryParts parts;
  parts.components = {Component("slb_psi_both", 1, 10, 0x0),  // "psi" is the first rule
                      Component("PSI_upper", 2, 10, 0x1000),  // matches nothing
                      Component("PSI_V618", 3, 10, 0x2000),   // upper-case PSI, but V618
                      Component("aeneas", 4, 10, 0x3000)};    // lower case matches nothing
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 1);
  EXPECT_EQ(window.Texts(), (kStartUpLines + Lines{"PSI Download start", "Set FLASH address",
                                                   "PSI Download success", "Code Download start",
                                                   "Erase was executed rightly!",
                                                   "Set FLASH address", "Code Download success"}));
  ExpectWritten(parts.components[0]);
  ExpectWritten(parts.components[2]);
  EXPECT_EQ(Flash(0x1000, 1), Bytes{0xFF});
  EXPECT_EQ(Flash(0x3000, 1), Bytes{0xFF});
}

TEST_F(IfxFactory, RecordWithoutBothPartsIsRefusedBeforeThePhoneIsTouched) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi_no_code", 1, 10, 0x0),
                      Component("slb_no_security", 2, 10, 0x0),
                      Component("V618_nothing", 3, 10, 0x0)};
  parts.components[0].withCode = false;
  parts.components[1].withSecurity = false;
  parts.components[2].withCode = parts.components[2].withSecurity = false;
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 0);
  EXPECT_EQ(window.Texts(),
            Lines{"The factory file holds no code and security block for psi_no_code"});
  EXPECT_TRUE(AllCommands().empty());
}

TEST_F(IfxFactory, EverySecondMatchingElementWritesWhatHasBeenKeptSoFar) {
  // Record 2 has three code elements and no security block of its own: the second code element
  // completes it, and it is written with the security block kept from record 1; the third
  // starts a new count that never completes.
  b::IfxFactoryParts parts;
  parts.components = {Component("psi_first", 1, 3000, 0x8000),
                      b::IfxComponent{"psi_second", 2, {}, 0, false, false}};
  const Bytes secondCode = b::Pattern(2500, 0x5C);
  parts.extra = {{b::kIfxCode, b::IfxCodeData(b::Pattern(700, 0x33)), 2},
                 {b::kIfxCode, b::IfxCodeData(secondCode), 2},
                 {b::kIfxCode, b::IfxCodeData(b::Pattern(900, 0x44)), 2}};
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 1);
  Bytes expected = Bracket({0x6C, 0x6F}, 2);
  const Bytes second = Bracket({0x6C, 0x6F}, 2);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(CommandsAfterStartUp(), expected);
  Bytes written = secondCode;
  const Bytes& first = parts.components[0].code;
  written.insert(written.end(), first.begin() + 2500, first.end());
  EXPECT_EQ(Flash(0x8000, 3000), written);  // the second write went to record 1's address
}

TEST_F(IfxFactory, FileWithoutALoadListIsRefusedBeforeThePhoneIsTouched) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 100, 0)};
  parts.withLoadList = false;
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 0);
  EXPECT_EQ(window.Texts(), Lines{"The factory file has no load list: nothing to write"});
  EXPECT_TRUE(AllCommands().empty());
}

TEST_F(IfxFactory, LargeComponentIsStreamedWhole) {
  b::IfxFactoryParts parts;
  parts.components = {Component("V618", 9, 300 * 1024 + 77, 0x200000)};
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 1);
  ExpectWritten(parts.components[0]);
  EXPECT_EQ(flash.m_Infineon.codeDesc[4], 0u);
}

// --- failures -------------------------------------------------------------------------------

TEST_F(IfxFactory, LyingFilesAreRefusedBeforeThePhoneIsTouched) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 100, 0), Component("slb", 2, 100, 0x1000)};
  // Elements: PSI container 0, EBL container 1512, PSI descriptor 6524, EBL descriptor 6556,
  // boot info 6588, load list 6772 (312), code 7084 (140), security 7224, code 9284, security 9424.
  const struct {
    const char* name;
    b::IfxLies lies;
    std::string line;
  } cases[] = {
      {"PSI outside", {.psiOffsetShift = 20000}, "PSI descriptor points outside the factory file"},
      {"EBL outside", {.eblSizeExtra = 7000}, "EBL descriptor points outside the factory file"},
      {"load list counts too many",
       {.loadListCountExtra = 1},
       "Load list at offset 6772 of the factory file counts 3 records, more than its element "
       "holds"},
      {"code past its element",
       {.codeLengthExtra = 1},
       "Code of the element at offset 7084 of the factory file (101 bytes) runs past its element"},
      {"last element past the end",
       {.lastElementExtra = 1},
       "Element of type 15 at offset 9424 of the factory file runs past its end"},
      {"file cut short",
       {.cutBytes = 1},
       "Element of type 15 at offset 9424 of the factory file runs past its end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window.Clear();
    EXPECT_EQ(Download(b::BuildIfxFactory(parts, c.lies)), 0);
    EXPECT_EQ(Log(), (Lines{c.line, "#200"}));
  }
  EXPECT_TRUE(AllCommands().empty());
}

TEST_F(IfxFactory, HeaderCutShortAtTheEndIsNotRead) {
  b::IfxFactoryParts parts;
  parts.components = {Component("slb", 2, 100, 0x1000)};
  EXPECT_EQ(Download(b::BuildIfxFactory(parts, {.trailingBytes = 11})), 1);
  ExpectWritten(parts.components[0]);
}

TEST_F(IfxFactory, MissingOrEmptyFileIsRefused) {
  EXPECT_EQ(flash.IFXFactoryDownload("/nonexistent/dir/factory.fls", &link, 0), 0);
  EXPECT_EQ(flash.IFXFactoryDownload(nullptr, &link, 0), 0);
  EXPECT_EQ(Log(), (Lines{"cannot open the factory file /nonexistent/dir/factory.fls", "#200",
                          "cannot open the factory file (none)", "#200"}));
  window.Clear();
  // An empty file holds nothing to write: the modem is never started.
  EXPECT_EQ(Download({}), 0);
  EXPECT_EQ(Log(), (Lines{"The factory file has no load list: nothing to write", "#200"}));
  EXPECT_TRUE(AllCommands().empty());
}

TEST_F(IfxFactory, FailedStartUpEndsTheDownload) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 100, 0)};
  Fail(FaultKind::kRefuse, 0x67);
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 0);
  const Lines log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(Lines(log.end() - 4, log.end()),
            (Lines{"Response is NAK", "#200", "fail to set capabilities to be used", "#200"}));
  EXPECT_EQ(AllCommands(), (Bytes{0x62, 0x65, 0x66, 0x67}));
}

TEST_F(IfxFactory, FailedSecuritySequenceEndsTheDownload) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 100, 0), Component("slb", 2, 100, 0x1000)};
  Fail(FaultKind::kRefuse, 0x6C);
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 0);
  const Lines log = Log();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(Lines(log.end() - 6, log.end()), (Lines{"PSI Download start", "#55", "Response is NAK",
                                                    "Req StartA error!", "#200", "#200"}));
  EXPECT_EQ(CommandsAfterStartUp(), Bytes{0x6C});
}

TEST_F(IfxFactory, FailedWriteKeepsEarlierComponentsAndReportsItsOwnFailure) {
  b::IfxFactoryParts parts;
  parts.components = {Component("psi", 1, 3000, 0), Component("slb", 2, 3000, 0x10000),
                      Component("V618", 3, 3000, 0x20000)};
  Fail(FaultKind::kRefuse, 0x61, 3);  // the second block of the second component
  EXPECT_EQ(Download(b::BuildIfxFactory(parts)), 0);
  const Lines log = Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Lines(log.end() - 5, log.end()),
            (Lines{"#68", "Response is NAK", "error!", "#200", "SLB Download fail"}));
  ExpectWritten(parts.components[0]);
  Bytes firstBlock(parts.components[1].code.begin(), parts.components[1].code.begin() + 2048);
  firstBlock.push_back(0xFF);
  EXPECT_EQ(Flash(0x10000, 2049), firstBlock);
  EXPECT_EQ(Flash(0x20000, 1), Bytes{0xFF});
}

}  // namespace
