// multi: the same download on every phone found, several at once, phones coming and going.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.h"
#include "corvane/platform/serial_device.h"
#include "corvane/ports/published_ports.h"
#include "support/no_system_bus.h"
#include "support/wait.h"

namespace {

using cli_testing::Cli;
using cli_testing::CliFixture;
using cli_testing::CliRun;
using phonesim::SimulatedTq4410;

class CliMulti : public CliFixture {};

// Waits for `passes` passes of port discovery in this process. Each pass removes the
// announcements of programs that are gone, so an announcement by a dead owner disappears at the
// next pass.
bool DiscoveryPassed(int passes) {
  const std::filesystem::path sentinel =
      std::filesystem::path(ports::PublishDirectory()) / "sentinel.port";
  for (int i = 0; i < passes; ++i) {
    std::ofstream(sentinel) << "path=/dev/null\ndescription=none\nowner=999999999\n";
    if (!testing_support::WaitUntil([&] { return !std::filesystem::exists(sentinel); })) {
      return false;
    }
  }
  return true;
}

std::string NameOf(const SimulatedTq4410& phone) {
  const std::string path = phone.Path();  // /dev/pts/N shows as ptsN
  return "pts" + path.substr(path.rfind('/') + 1);
}

TEST_F(CliMulti, ThreePhonesOneFailsTheOthersSucceedAndTheSummarySaysWhich) {
  SimulatedTq4410 a;
  SimulatedTq4410 b;
  SimulatedTq4410 c;
  // The second phone refuses a block of its largest partition.
  b.Device().InjectFault({.kind = phonesim::FaultKind::kRefuse, .command = 0x02, .skip = 3});
  const CliRun run = Cli(WithFiles({"multi", "download", "--count", "3"}));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(a.VerifyNormalDownload(firmware).ok);
  EXPECT_TRUE(c.VerifyNormalDownload(firmware).ok);
  EXPECT_FALSE(b.VerifyNormalDownload(firmware).ok);
  const std::string failed = NameOf(b) + " (port " + std::to_string(b.PortNumber()) + ")";
  EXPECT_TRUE(run.OutHas("1 of 3 phones failed: " + failed)) << run.out;
  EXPECT_TRUE(run.OutHas("[" + NameOf(b) + "] " + failed + ": FAILED"));
  EXPECT_TRUE(run.OutHas("[" + NameOf(a) + "] " + NameOf(a) + " (port " +
                         std::to_string(a.PortNumber()) + "): succeeded"));
  // Every status line says whose it is.
  for (const std::string& line : run.OutLines()) {
    if (line.find(" Sec  :") == std::string::npos) continue;
    EXPECT_EQ(line.rfind("[pts", 0), 0u) << line;
  }
}

TEST_F(CliMulti, APhoneThatLeftIsFollowedByTheNextOnePluggedIn) {
  auto first = std::make_unique<SimulatedTq4410>();
  CliRun run;
  std::thread cli([&] { run = Cli(WithFiles({"multi", "download", "--count", "2", "--json"})); });
  // The first phone resets at the end of its run and leaves its port.
  testing_support::WaitUntil([&] { return first->Resets() > 0; }, std::chrono::seconds(60));
  ASSERT_EQ(first->Resets(), 1);
  // The technician takes the phone away; the next one usually gets the same port name (here the
  // same pseudo-terminal), so it must come after discovery has seen the port gone: two passes,
  // since the first may run before the scheduler has collected the finished run.
  ASSERT_TRUE(DiscoveryPassed(2));
  SimulatedTq4410 second;
  cli.join();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(first->VerifyNormalDownload(firmware).ok);
  EXPECT_TRUE(second.VerifyNormalDownload(firmware).ok);
  EXPECT_EQ(cli_testing::Events(run.Json(), "result").size(), 2u);
}

TEST_F(CliMulti, AtMostMaxPhonesRunAtOnce) {
  std::vector<std::unique_ptr<SimulatedTq4410>> phones;
  for (int i = 0; i < 3; ++i) {
    // A slow eMMC keeps the first two busy while the third waits.
    phones.push_back(std::make_unique<SimulatedTq4410>(
        phonesim::Tq4410Options{.emmcBytesPerSecond = 2'000'000}));
  }
  const CliRun run = Cli(WithFiles({"multi", "download", "--count", "3", "--max", "2", "--json"}));
  ASSERT_EQ(run.status, 0) << run.out;
  int running = 0;
  int most = 0;
  for (const auto& e : run.Json()) {
    if (e.at("event") == "start") most = std::max(most, ++running);
    if (e.at("event") == "result") --running;
  }
  EXPECT_EQ(most, 2);
  for (auto& phone : phones) EXPECT_TRUE(phone->VerifyNormalDownload(firmware).ok);
}

TEST_F(CliMulti, SimulateAttachesThePhonesAndChecksEachOne) {
  const CliRun run = Cli({"multi", "download", "--simulate", "2", "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto events = run.Json();
  const auto checks = cli_testing::Events(events, "verification");
  ASSERT_EQ(checks.size(), 2u);
  for (const auto& c : checks) EXPECT_TRUE(c.at("ok").get<bool>()) << c.at("verdict");
  const auto summary = cli_testing::Events(events, "summary");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_EQ(summary[0].at("phones"), 2);
  EXPECT_EQ(summary[0].at("failed"), 0);
}

// A port another program has open is passed over, said once, and not counted as a phone.
TEST_F(CliMulti, APortAnotherProgramHoldsIsPassedOverAndSaidOnce) {
  SimulatedTq4410 available;
  SimulatedTq4410 held;
  auto holder = platform::SerialDevice::Create();
  ASSERT_TRUE(holder->Open(held.Path()));
  const CliRun run = Cli(WithFiles({"multi", "download", "--wait", "1"}));
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(available.VerifyNormalDownload(firmware).ok);
  const std::string said = NameOf(held) + " (port " + std::to_string(held.PortNumber()) +
                           ") is held by another program: passed over";
  const std::string& out = run.out;
  const size_t first = out.find(said);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_EQ(out.find(said, first + 1), std::string::npos) << out;
  EXPECT_EQ(held.Resets(), 0);
}

// A station without a system bus (a container) writes its phones all the same, and says once
// that the system may sleep meanwhile.
TEST_F(CliMulti, WithoutASystemBusThePhonesRunAndOneLineSaysTheSystemMaySleep) {
  const testing_support::NoSystemBus noBus;
  const CliRun run = Cli({"multi", "download", "--simulate", "2"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err.rfind("tarvex-cli: the system may sleep while phones are written (", 0), 0u)
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

// "--wait 0" still looks once, and phones that --count left alone are neither verified nor
// allowed to turn the summary's success into exit status 1.
TEST_F(CliMulti, CountBelowTheSimulatedPhonesRunsAndChecksOnlyThoseThatRan) {
  const CliRun run =
      Cli({"multi", "download", "--simulate", "3", "--count", "1", "--wait", "0", "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto events = run.Json();
  EXPECT_EQ(cli_testing::Events(events, "verification").size(), 1u);
  const auto summary = cli_testing::Events(events, "summary");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_EQ(summary[0].at("phones"), 1);
  EXPECT_TRUE(summary[0].at("ok").get<bool>());
}

}  // namespace
