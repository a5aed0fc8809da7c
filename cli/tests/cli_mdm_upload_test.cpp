// mdm and upload through the command line. Both entry points are bound by name at run time; a
// plug-in without them is met by the "lacks" tests of cli_run_test, and fails these.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "corvane/platform/byte_order.h"
#include "sim/builders/ap_builders.h"
#include "sim/phone.h"
#include "support/discovery_sandbox.h"
#include "support/scripted_phone.h"
#include "support/temp_dir.h"
#include "support/time_scale.h"

namespace {

using cli_testing::Cli;
using cli_testing::CliRun;

class CliMdm : public ::testing::Test {
 protected:
  testing_support::DiscoverySandbox sandbox;
  testing_support::ScopedTimeScale fast{0.02};  // the mode switches wait 2, 5, 8 and 10 s
};

TEST_F(CliMdm, ApplicationProcessorOnlyDownloadIntoTheSimulatedPhone) {
  const CliRun run = Cli({"mdm", "--simulate", "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto events = run.Json();
  std::vector<std::string> texts;
  for (const auto& e : cli_testing::Events(events, "status")) texts.push_back(e.at("text"));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "Download Start...");
  EXPECT_EQ(texts[1], "Start AP only download");
  EXPECT_EQ(texts.back(), "Download complete");
  const auto checks = cli_testing::Events(events, "verification");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_TRUE(checks[0].at("ok").get<bool>()) << checks[0].at("verdict");
}

// A phone that reads its memory back: 0x08 sets up the read, each 0x05 returns the next bytes
// of a seeded pattern, as many as asked for.
class ReadBackPhone {
 public:
  ReadBackPhone() {
    auto personality = std::make_unique<testing_support::ScriptedPersonality>();
    personality->SetAnswer([this](const phonesim::Packet& p) { return Answer(p); });
    phone_ = std::make_unique<phonesim::Phone>(std::move(personality));
  }
  ~ReadBackPhone() { phone_->Stop(); }

  uint8_t Port() const { return phone_->PortNumber(); }
  std::vector<uint8_t> Expected(size_t bytes) const {
    return phonesim::builders::Pattern(bytes, 77u);
  }

 private:
  phonesim::Reply Answer(const phonesim::Packet& p) {
    if (!p.checkOk || p.body.size() < 6) return phonesim::Reply::None();
    if (p.Command() == 0x08) return phonesim::Reply::Ack();
    if (p.Command() != 0x05) return phonesim::Reply::Nak();
    const uint32_t n = bytes::LoadLe32(p.body.data() + 2);
    std::vector<uint8_t> data(n);
    for (uint32_t i = 0; i < n; ++i) data[i] = phonesim::builders::PatternByte(77u, sent_ + i);
    sent_ += n;
    return phonesim::Reply::Raw(std::move(data));
  }

  uint64_t sent_ = 0;  // only the phone's thread answers
  std::unique_ptr<phonesim::Phone> phone_;
};

class CliUpload : public ::testing::Test {
 protected:
  // The read-back's 100 ms and 150 ms waits and the 2 s settle take a quarter of that.
  testing_support::ScopedTimeScale fast{0.25};
  testing_support::TempDir dir;
};

TEST_F(CliUpload, ReadsTheSectorsIntoTheFile) {
  ReadBackPhone phone;
  const std::string out = dir / "read.bin";
  const CliRun run = Cli({"upload", "--port", std::to_string(phone.Port()), "--out", out,
                          "--sectors", "200", "--address", "0x00100000"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::ifstream in(out, std::ios::binary);
  const std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(got, phone.Expected(200 * 512));
  EXPECT_TRUE(run.OutHas("Upload complete"));
  EXPECT_TRUE(run.OutHas("Message: Done!"));
}

TEST_F(CliUpload, AnOutputFileInNoDirectoryIsRefusedFirst) {
  ReadBackPhone phone;
  const CliRun run = Cli({"upload", "--port", std::to_string(phone.Port()), "--out",
                          dir / "no/such/dir/read.bin", "--sectors", "8", "--address", "0"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.ErrHas("cannot write " + dir / "no/such/dir/read.bin")) << run.err;
}

}  // namespace
