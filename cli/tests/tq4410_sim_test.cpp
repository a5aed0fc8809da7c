// The simulated TQ4410s and their byte-for-byte check: a check that passes must be able to fail.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_fixture.h"
#include "corvane/ports/find_phone_ports.h"
#include "sim/qualcomm_handset.h"
#include "support/time_scale.h"

namespace {

using cli_testing::CliFixture;
using phonesim::SimulatedTq4410;

class Tq4410Check : public CliFixture {};

size_t Count(const std::vector<std::string>& lines, const std::string& word) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.find(word) != std::string::npos;
  return n;
}

TEST_F(Tq4410Check, AnUntouchedPhoneHoldsNothingOfTheFirmware) {
  SimulatedTq4410 phone;
  const phonesim::Verification v = phone.VerifyNormalDownload(firmware);
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(Count(v.lines, "MISSING"), 3u);  // no partition was announced
  EXPECT_EQ(Count(v.lines, "DIFFERS"), 4u);  // the NOR is erased
  EXPECT_EQ(v.Verdict(), "Verification FAILED: 7 of 7 images do not match");
}

TEST_F(Tq4410Check, OneChangedByteOfAFileIsFound) {
  SimulatedTq4410 phone;
  ASSERT_EQ(cli_testing::Cli(WithFiles({"download", "--port", Port(phone)})).status, 0);
  ASSERT_TRUE(phone.VerifyNormalDownload(firmware).ok);
  {
    std::fstream f(firmware.PathOf("system.img"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(123457);
    f.put('\x5a' ^ static_cast<char>(phonesim::builders::PatternByte(13, 123457)));
  }
  const phonesim::Verification v = phone.VerifyNormalDownload(firmware);
  EXPECT_FALSE(v.ok);
  ASSERT_EQ(Count(v.lines, "DIFFERS"), 1u);
  for (const std::string& line : v.lines) {
    if (line.find("DIFFERS") != std::string::npos) {
      EXPECT_NE(line.find("system.img"), std::string::npos);
    }
  }
}

TEST_F(Tq4410Check, PhonesShowThemselvesToDiscoveryAsTheMakersModems) {
  SimulatedTq4410 phone;
  phonesim::SimulatedMdmTq4410 mdm;
  std::vector<SerialPortEntry> ports;
  FindPhonePorts(ports, 0, 0, 1);
  ASSERT_EQ(ports.size(), 2u);
  for (const SerialPortEntry& e : ports) {
    EXPECT_TRUE(e.description == "Zelco Mobile USB Modem" ||
                e.description == "Zelco CDMA USB Modem")
        << e.description;
  }
  const phonesim::builders::MdmSample set =
      phonesim::builders::MdmSample::Write(dir.Path().string());
  const phonesim::Verification v = mdm.VerifyApplicationProcessor(set);
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(v.lines.size(), 3u);
  EXPECT_EQ(mdm.PortNumber(), 0);  // retired by the check
}

// A second phone in modem mode is announced before the run starts: after the simulated phone
// changes over, the download takes only the port that appeared since, never the bystander's.
TEST_F(Tq4410Check, AnMdmDownloadNeverTouchesAPhoneAnnouncedBesideIt) {
  testing_support::ScopedTimeScale fast{0.02};  // the mode switches wait 2, 5, 8 and 10 s
  phonesim::SimulatedMdmTq4410 bystander;
  const uint8_t port = bystander.PortNumber();
  ASSERT_NE(port, 0);
  const cli_testing::CliRun run = cli_testing::Cli({"mdm", "--simulate", "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto checks = cli_testing::Events(run.Json(), "verification");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_TRUE(checks[0].at("ok").get<bool>()) << checks[0].at("verdict");
  EXPECT_EQ(bystander.Handset().Appearances(), 1);
  EXPECT_EQ(bystander.Handset().CurrentMode(), phonesim::QualcommHandset::Mode::kDiag);
  EXPECT_EQ(bystander.PortNumber(), port);
}

}  // namespace
