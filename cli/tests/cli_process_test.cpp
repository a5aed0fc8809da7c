// The built tarvex-cli as a user runs it: its own process, its own simulated phones, output to
// files (not a terminal), exit status through the shell.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "cli/ports.h"
#include "cli/simulation.h"
#include "cli_harness.h"
#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"
#include "corvane/ports/published_ports.h"
#include "sim/generic_boot_loader.h"
#include "sim/phone.h"
#include "support/temp_dir.h"

namespace {

using cli_testing::CliRun;
using cli_testing::RunProgram;
namespace fs = std::filesystem;

std::set<std::string> TakenPaths(const CliRun& run) {
  std::set<std::string> paths;
  for (const auto& port : cli_testing::Events(run.Json(), "port")) {
    if (port.at("taken").get<bool>()) paths.insert(port.at("path").get<std::string>());
  }
  return paths;
}

// The program's simulated phones announce their ports in a runtime directory of the test's own,
// so that nothing else running on the machine sees them or is seen.
class CliProcess : public ::testing::Test {
 protected:
  std::string Env() const { return "XDG_RUNTIME_DIR='" + runtime.Path().string() + "'"; }
  testing_support::TempDir runtime;
};

TEST_F(CliProcess, TheMainJobEndsWithTheVerificationResult) {
  const CliRun run = RunProgram("download --simulate", Env());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.OutLines().back().rfind("Verification passed: 7 images", 0), 0u) << run.out;
  EXPECT_TRUE(run.OutHas("00:00.0 Sec  :Download Start..."));
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);  // written to a file: no bars
}

TEST_F(CliProcess, MultiWithJsonLines) {
  const CliRun run = RunProgram("multi download --simulate 2 --json", Env());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto events = run.Json();
  EXPECT_EQ(cli_testing::Events(events, "result").size(), 2u);
  const auto checks = cli_testing::Events(events, "verification");
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_TRUE(checks[0].at("ok").get<bool>());
  EXPECT_TRUE(checks[1].at("ok").get<bool>());
}

TEST_F(CliProcess, ClearMessagesAndExitStatusesWithoutAPhone) {
  const CliRun missing = RunProgram("download --wait 0 /no/such/file.img", Env());
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(missing.ErrHas("/no/such/file.img could not be opened")) << missing.err;

  const CliRun erase = RunProgram("download --erase boot x.img", Env());
  EXPECT_EQ(erase.status, 2);
  EXPECT_TRUE(erase.ErrHas("unknown erase word 'boot'"));

  const CliRun plugin = RunProgram("download --plugin /no/model.so x.img", Env());
  EXPECT_EQ(plugin.status, 3);
  EXPECT_TRUE(plugin.ErrHas("cannot load the plug-in /no/model.so"));

  const CliRun help = RunProgram("--help", Env());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.OutHas("usage: tarvex-cli COMMAND"));
}

// Without a session runtime directory the announcements live in the shared temporary directory,
// under a name that another user may have taken first and filled with a port of their choosing.
TEST_F(CliProcess, ARuntimeDirectoryOthersMayUseIsRefusedWithItsReason) {
  const fs::path taken = runtime.Path() / ("tarvex-" + std::to_string(platform::UserId()));
  fs::create_directories(taken / "tarvex-ports");
  fs::permissions(taken, fs::perms::all);
  // A terminal of this user's, announced as a phone as its publisher would announce it.
  phonesim::Phone terminal(std::make_unique<phonesim::GenericBootLoader>());
  const int64_t me = platform::ProcessId();
  std::ofstream(taken / "tarvex-ports/planted.port")
      << "path=" << terminal.Path() << "\ndescription=Zelco Mobile USB Modem\nowner=" << me
      << "\nstarted=" << *platform::ProcessStartTime(me) << "\n";
  const std::string env = "XDG_RUNTIME_DIR= TMPDIR='" + runtime.Path().string() + "'";

  const CliRun ports = RunProgram("ports --json", env);
  EXPECT_EQ(ports.status, 4) << ports.out;
  EXPECT_TRUE(TakenPaths(ports).empty());
  EXPECT_TRUE(ports.OutHas(taken.string() + " has mode 0777")) << ports.out;

  const CliRun simulated = RunProgram("ports --simulate", env);
  EXPECT_EQ(simulated.status, 4);
  EXPECT_TRUE(simulated.ErrHas(taken.string() + " has mode 0777")) << simulated.err;
}

// Two runs with simulated phones at once, each seeing its own phones and a stand-alone
// simulator's but never the other run's: this process is one run, the program the other.
TEST_F(CliProcess, SimulatedPhonesOfARunAreSeenByThatRunOnly) {
  const fs::path shared = runtime.Path() / "tarvex-ports";
  struct PublishHere {
    explicit PublishHere(const fs::path& dir) { ports::SetPublishDirectory(dir.string()); }
    ~PublishHere() { ports::SetPublishDirectory(""); }
  } publishHere(shared);
  // Published before this process's run begins, as a stand-alone phonesim publishes its port.
  auto standAlone = std::make_unique<phonesim::Phone>(
      std::make_unique<phonesim::GenericBootLoader>(),
      phonesim::PortIdentity{"Zelco Mobile USB Modem", 0x1d6b, 0x0104, 0});
  cli::Options options;
  options.command = cli::Command::kPorts;
  options.simulate = 2;
  std::unique_ptr<cli::Simulation> mine;
  std::string error;
  ASSERT_EQ(cli::Simulation::Start(options, cli_testing::ProgramDirectory(), mine, error), 0)
      << error;

  const CliRun other = RunProgram("ports --simulate 2 --json", Env());
  ASSERT_EQ(other.status, 0) << other.err;
  const std::set<std::string> seenThere = TakenPaths(other);
  EXPECT_EQ(seenThere.size(), 3u) << other.out;
  EXPECT_TRUE(seenThere.count(standAlone->Path()));
  for (const std::string& path : mine->DevicePaths()) EXPECT_FALSE(seenThere.count(path)) << path;

  std::set<std::string> seenHere;
  for (const auto& report : cli::SurveyPorts()) {
    if (report.taken) seenHere.insert(report.entry.devicePath);
  }
  std::set<std::string> expected = mine->DevicePaths();
  expected.insert(standAlone->Path());
  EXPECT_EQ(seenHere, expected);

  // Each run's directory goes with it.
  const fs::path ownRun = shared / ("run-" + std::to_string(platform::ProcessId()));
  EXPECT_TRUE(fs::is_directory(ownRun));
  mine.reset();
  standAlone.reset();
  EXPECT_TRUE(fs::is_empty(shared));
}

}  // namespace
