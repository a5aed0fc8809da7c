// The built tarvex-cli as a user runs it: its own process, its own simulated phones, output to
// files (not a terminal), exit status through the shell.

#include <gtest/gtest.h>

#include <csignal>
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
#include "host/port_diagnosis.h"
#include "sim/generic_boot_loader.h"
#include "sim/phone.h"
#include "support/scripted_phone.h"
#include "support/temp_dir.h"

namespace {

using cli_testing::CliRun;
using cli_testing::RunProgram;
using cli_testing::StartedProgram;
namespace fs = std::filesystem;

// Files below `dir` whose name contains `part`.
std::vector<std::string> FilesNamed(const fs::path& dir, const std::string& part) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    if (e.path().filename().string().find(part) != std::string::npos) {
      found.push_back(e.path().string());
    }
  }
  return found;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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

// Ctrl-C and SIGTERM in the middle of a run: the phone's run is cancelled and waited for, the
// summary says so, and nothing of the run is left behind: no port announcement, no sample set, no
// partial upload, and the file the upload would have replaced as it was.
TEST_F(CliProcess, InterruptedRunsAreCancelledAndLeaveNothingBehind) {
  // At 4 MB/s the eMMC keeps the run busy for seconds after its system image began.
  StartedProgram download("download --simulate", Env() + " TARVEX_SIM_EMMC_BYTES_PER_S=4000000");
  ASSERT_TRUE(download.WaitForOutput("system.img  writing start"));
  const std::string sample = "tarvex-sample-" + std::to_string(download.Pid()) + "-";
  EXPECT_FALSE(FilesNamed(fs::temp_directory_path(), sample).empty());
  download.Signal(SIGINT);
  const CliRun cancelled = download.Wait();
  EXPECT_EQ(cancelled.status, 130) << cancelled.out << cancelled.err;
  EXPECT_TRUE(cancelled.OutHas("1 of 1 phone cancelled: pts")) << cancelled.out;
  EXPECT_FALSE(cancelled.OutHas("Verification"));
  EXPECT_TRUE(FilesNamed(runtime.Path(), ".port").empty());
  EXPECT_TRUE(FilesNamed(fs::temp_directory_path(), sample).empty());

  // A phone that never answers the read set-up: the upload waits for it with its file open.
  testing_support::LinkFixture silent;
  silent.phone->InjectFault({.kind = phonesim::FaultKind::kSilent});
  silent.link.Close();
  testing_support::TempDir dir;
  const std::string out = dir / "memory.bin";
  std::ofstream(out, std::ios::binary) << "the memory read last week";
  StartedProgram upload("upload --json --port " + silent.phone->Path() + " --out " + out +
                            " --sectors 64 --address 0",
                        Env());
  ASSERT_TRUE(upload.WaitForOutput("Upload file is creating..."));
  upload.Signal(SIGTERM);
  const CliRun terminated = upload.Wait();
  EXPECT_EQ(terminated.status, 143) << terminated.out << terminated.err;
  const auto events = terminated.Json();
  ASSERT_EQ(cli_testing::Events(events, "result").size(), 1u);
  EXPECT_TRUE(cli_testing::Events(events, "result")[0].at("cancelled").get<bool>());
  EXPECT_EQ(cli_testing::Events(events, "summary")[0].at("cancelled").get<int>(), 1);
  EXPECT_EQ(Contents(out), "the memory read last week");
  EXPECT_TRUE(FilesNamed(dir.Path(), ".part").empty());
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
  std::unique_ptr<simulation::Attached> mine;
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
  for (const auto& port : diagnosis::Diagnose(diagnosis::System::Current()).ports) {
    if (port.taken) seenHere.insert(port.entry.devicePath);
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

// tarvex ended by a signal, as a portable install beside its own settings: it stops its runs,
// saves its settings, removes its sample set and ends with the shell's status for the signal.
TEST_F(CliProcess, TarvexEndedByASignalSavesItsSettingsAndClearsUp) {
  const fs::path built = cli_testing::ProgramDirectory();
  if (!fs::exists(built / "tarvex")) GTEST_SKIP() << "built without tarvex";
  testing_support::TempDir portable;
  for (const char* name : {"tarvex", "libCorvane.so", "model.so", "tarvex-sim.so"}) {
    fs::copy_file(built / name, portable.Path() / name);
  }
  for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
    std::ofstream(portable / "Tarvex.ini") << "[Erase Option]\nValue=4\n";
    StartedProgram tarvex("--simulate 1", Env() + " QT_QPA_PLATFORM=offscreen",
                          portable / "tarvex");
    ASSERT_TRUE(tarvex.WaitForOutput("Simulated TQ4410 attached on "));
    const std::string marker = "Sample firmware written to ";
    const std::string out = tarvex.Output();
    const std::string sample =
        out.substr(out.find(marker) + marker.size(),
                   out.find('\n', out.find(marker)) - out.find(marker) - marker.size());
    ASSERT_TRUE(fs::exists(sample)) << sample;
    tarvex.Signal(signal);
    const CliRun run = tarvex.Wait();
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_FALSE(fs::exists(sample));
    const std::string saved = Contents(portable / "Tarvex.ini");
    EXPECT_NE(saved.find("[File Lists]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Value=4"), std::string::npos) << saved;
  }
}

}  // namespace
