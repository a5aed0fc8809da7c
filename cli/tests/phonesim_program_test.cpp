// The built phonesim with a whole TQ4410, as a user tries a host against it: its own process,
// found through its announcement by a tarvex-cli started separately, and its verdict at the end.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "sim/memory_reader.h"
#include "support/temp_dir.h"

namespace {

using cli_testing::CliRun;
using cli_testing::StartedProgram;
namespace fs = std::filesystem;

constexpr const char* kReady = "Ctrl-C or SIGTERM ends it";

// What follows `head` on the first line of `out` that begins with it ("" when none does).
std::string After(const std::string& out, const std::string& head) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(head, 0) == 0) return line.substr(head.size());
  }
  return "";
}

class PhonesimProgram : public ::testing::Test {
 protected:
  std::string Env() const { return "XDG_RUNTIME_DIR='" + runtime.Path().string() + "'"; }
  testing_support::TempDir runtime;
  testing_support::TempDir dir;
};

TEST_F(PhonesimProgram, AWholeTq4410KeepsWhatADownloadWroteAndEndsWithTheMatch) {
  const std::string set = dir / "set";
  StartedProgram phone(
      "--tq4410 --description 'Zelco Mobile USB Modem (bench 2)' --sample '" + set + "'", Env(),
      "phonesim");
  ASSERT_TRUE(phone.WaitForOutput(kReady)) << phone.Output();
  const std::string port = After(phone.Output(), "Simulated TQ4410 attached on ");
  ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << phone.Output();
  ASSERT_EQ(After(phone.Output(), "Sample firmware written to "), set);
  std::string files;
  for (const auto& f : fs::directory_iterator(set)) files += " '" + f.path().string() + "'";

  const CliRun run = cli_testing::RunProgram("download --port " + port + files, Env());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // Named by its path, and found by discovery in this other process: its description is known.
  EXPECT_TRUE(run.OutHas(port + ", Zelco Mobile USB Modem (bench 2)")) << run.out;

  phone.Signal(SIGTERM);
  const CliRun end = phone.Wait();
  EXPECT_EQ(end.status, 0) << end.out << end.err;
  EXPECT_TRUE(end.OutHas("Byte-for-byte check of the simulated phone on " + port + ":"));
  EXPECT_EQ(end.OutLines().back().rfind("Verification passed: 7 images", 0), 0u) << end.out;
  EXPECT_TRUE(fs::exists(fs::path(set) / "system.img"));  // the user's directory keeps the set
}

TEST_F(PhonesimProgram, NothingWrittenIsAMismatchAndAFullDirectoryIsRefused) {
  StartedProgram mdm("--tq4410 --mdm --sample '" + (dir / "mdm") + "'", Env(), "phonesim");
  ASSERT_TRUE(mdm.WaitForOutput(kReady)) << mdm.Output();
  EXPECT_TRUE(mdm.Output().find("\"Zelco CDMA USB Modem\"") != std::string::npos);
  mdm.Signal(SIGTERM);
  const CliRun untouched = mdm.Wait();
  EXPECT_EQ(untouched.status, 1) << untouched.out << untouched.err;
  EXPECT_TRUE(untouched.OutHas("AP partition 1")) << untouched.out;
  EXPECT_TRUE(untouched.OutHas("DIFFERS"));
  EXPECT_EQ(untouched.OutLines().back(), "Verification FAILED: 3 of 3 images do not match");

  std::ofstream(dir / "notes.txt") << "the user's own";
  StartedProgram full("--tq4410 --sample '" + dir.Path().string() + "'", Env(), "phonesim");
  const CliRun refused = full.Wait();
  EXPECT_EQ(refused.status, 3);
  EXPECT_TRUE(refused.ErrHas("is not empty")) << refused.err;
  EXPECT_EQ(fs::file_size(dir / "notes.txt"), 14u);
}

// The memory a bench reads back without a phone: what an upload reads is the pattern of the
// addresses it asked for, so a Windows build's upload can be compared with a native one.
TEST_F(PhonesimProgram, AMemoryAnswersAnUploadWithThePatternOfItsAddresses) {
  StartedProgram phone("--memory", Env(), "phonesim");
  ASSERT_TRUE(phone.WaitForOutput("boot loader listening on ")) << phone.Output();
  const std::string port = After(phone.Output(), "phonesim: boot loader listening on ");
  const std::string out = dir / "read.bin";
  const CliRun run = cli_testing::RunProgram(
      "upload --port " + port + " --out '" + out + "' --sectors 3 --address 0x200", Env());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::ifstream in(out, std::ios::binary);
  const std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(got, phonesim::MemoryReader::Contents(1, 0x200, 3 * 512));
  phone.Signal(SIGTERM);
  EXPECT_EQ(phone.Wait().status, 0);

  StartedProgram both("--memory --tq4410 --sample '" + (dir / "set") + "'", Env(), "phonesim");
  EXPECT_EQ(both.Wait().status, 2);
}

}  // namespace
