// The built tarvex-cli as a user runs it: its own process, its own simulated phones, output to
// files (not a terminal), exit status through the shell.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_harness.h"
#include "support/temp_dir.h"

namespace {

using cli_testing::CliRun;
using cli_testing::RunProgram;

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

  // The simulated phone is attached, but the plug-in's check refuses the file first.
  const std::string image = runtime / "boot.img";
  std::ofstream(image) << "boot";
  const CliRun check = RunProgram("download --simulate --erase cp '" + image + "'", Env());
  EXPECT_EQ(check.status, 2);
  EXPECT_TRUE(check.ErrHas("erasing the modem's flash needs a modem image")) << check.err;
  EXPECT_FALSE(check.OutHas("Download Start...")) << check.out;

  const CliRun help = RunProgram("--help", Env());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.OutHas("usage: tarvex-cli COMMAND"));
  EXPECT_TRUE(help.OutHas("a plug-in that can check files reads every file of the run"));
}

}  // namespace
