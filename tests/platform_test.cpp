// The platform layer's portable services.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/file_io.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/os_version.h"
#include "corvane/platform/path.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/private_files.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/platform/sleep_inhibit.h"
#include "corvane/platform/terminal.h"
#include "support/no_system_bus.h"
#include "support/temp_dir.h"
#include "support/time_scale.h"

namespace {

// A factory image may pass 4 GiB: its length and a position far into it are told in 64 bits,
// by a name in the user's own script.
TEST(FileIo, LengthsAndPositionsPastFourGibibytesInAFileNamedInHangul) {
  testing_support::TempDir dir;
  const std::string path = dir / "\xED\x8E\x8C\xEC\x9D\xBC.bin";  // "file" in Hangul
  constexpr uint64_t kLength = uint64_t{5} << 30;
  constexpr uint64_t kMarkAt = kLength - (uint64_t{1} << 29);
  {
    std::ofstream(path, std::ios::binary).put('A');
    std::filesystem::resize_file(path, kLength);  // sparse: no disk space taken
    const platform::File file = platform::OpenFile(path.c_str(), "r+b");
    ASSERT_TRUE(file);
    ASSERT_TRUE(platform::SeekTo(file.get(), kMarkAt));
    ASSERT_EQ(std::fwrite("TQ", 1, 2, file.get()), 2u);
  }
  const platform::File file = platform::OpenFile(path.c_str(), "rb");
  ASSERT_TRUE(file);
  EXPECT_EQ(platform::LengthOf(file.get()), kLength);
  EXPECT_EQ(std::fgetc(file.get()), 'A');  // left at its start
  ASSERT_TRUE(platform::SeekTo(file.get(), kMarkAt));
  char mark[2] = {};
  ASSERT_EQ(std::fread(mark, 1, 2, file.get()), 2u);
  EXPECT_EQ(std::string(mark, 2), "TQ");
  EXPECT_FALSE(platform::OpenFile((dir / "missing.bin").c_str(), "rb"));
  EXPECT_FALSE(platform::OpenFile(nullptr, "rb"));
}

// A name the user gave in Hangul is the same characters in the file system's path and back: built
// from the narrow string, Windows would take each of its UTF-8 bytes for a character.
TEST(PortTable, NumberStaysBoundToItsPath) {
  const uint8_t a = platform::BindPort("/dev/test-port-table-a");
  const uint8_t b = platform::BindPort("/dev/test-port-table-b");
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(platform::BindPort("/dev/test-port-table-a"), a);
  EXPECT_EQ(platform::PortPath(a), "/dev/test-port-table-a");
  EXPECT_EQ(platform::PortNumber("/dev/test-port-table-b"), b);
  EXPECT_EQ(platform::PortNumber("/dev/never-bound"), 0);
  EXPECT_EQ(platform::BindPort(""), 0);
  EXPECT_EQ(platform::PortPath(0), "");
}

// Here a port's name is its path: "COM12" is a file name like any other.
TEST(PortTable, ComPortNamesAreNoPortsHere) { EXPECT_EQ(platform::SystemPortPath("COM12"), ""); }

// How Windows's COM names read, on every system (Windows makes them its port table).
TEST(ComPortName, TheNumberOfAComPortInEitherSpellingAndNoOther) {
  EXPECT_EQ(platform::ComPortNumber("COM12"), 12);
  EXPECT_EQ(platform::ComPortNumber("com3"), 3);
  EXPECT_EQ(platform::ComPortNumber("\\\\.\\COM255"), 255);
  for (const char* name : {"COM0", "COM256", "COM257", "COM012", "COM", "COM1:", "COM12x",
                           "\\\\?\\COM3", "XCOM3", "/dev/ttyACM0", ""}) {
    EXPECT_EQ(platform::ComPortNumber(name), 0) << name;
  }
  EXPECT_EQ(platform::ComPortPath(12), "\\\\.\\COM12");
  EXPECT_EQ(platform::ComPortPath(0), "");
}

// The table is process-wide, so filling it up happens in a child process.
TEST(PortTableDeathTest, RunsOutAfter255NumbersWithoutReusingOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::vector<uint8_t> seen;
        for (int i = 0; i < 300; ++i) {
          const uint8_t n = platform::BindPort("/dev/test-many-" + std::to_string(i));
          if (n == 0) break;
          seen.push_back(n);
        }
        const bool full = platform::BindPort("/dev/test-many-overflow") == 0;
        const bool kept = platform::PortNumber("/dev/test-many-0") == seen.front();
        const bool distinct = std::set<uint8_t>(seen.begin(), seen.end()).size() == seen.size();
        std::exit(seen.size() <= 255 && full && kept && distinct ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Clock, ScaledClockRunsFasterAndSleepsFollowIt) {
  testing_support::ScopedTimeScale fast(0.01);
  const uint64_t t0 = platform::TickCount();
  const auto r0 = std::chrono::steady_clock::now();
  platform::SleepMs(2000);  // 20 ms of real time
  const auto real = std::chrono::steady_clock::now() - r0;
  EXPECT_GE(platform::TickCount() - t0, 2000u);
  EXPECT_LT(real, std::chrono::seconds(1));
  EXPECT_EQ(platform::RealMs(10000), 100);
  EXPECT_EQ(platform::RealMs(3), 1);  // a short wait still yields
  EXPECT_EQ(platform::RealMs(0), 0);
}

TEST(Clock, NeverRunsBackwardsAcrossScaleChanges) {
  const uint64_t before = platform::TickCount();
  {
    testing_support::ScopedTimeScale slow(4.0);
    EXPECT_GE(platform::TickCount(), before);
  }
  EXPECT_GE(platform::TickCount(), before);
  platform::SetTimeScale(0.0);  // refused
  EXPECT_EQ(platform::TimeScale(), 1.0);
}

class CountingTarget : public platform::MessageTarget {
 public:
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    ++calls;
    return static_cast<platform::LRESULT>(message + wParam) + lParam;
  }
  int calls = 0;
};

TEST(Messages, SendRunsTheHandlerAndReturnsItsResultNullSendsNothing) {
  CountingTarget target;
  EXPECT_EQ(platform::SendWindowMessage(&target, 1025, 1002, 7), 1025 + 1002 + 7);
  EXPECT_EQ(target.calls, 1);
  EXPECT_EQ(platform::SendWindowMessage(nullptr, 1025, 1002, 7), 0);
}

TEST(Messages, MessageBoxGoesThroughTheInstalledHook) {
  std::vector<std::string> shown;
  auto previous =
      platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption) {
        shown.push_back(caption + "|" + text);
      });
  platform::ShowMessageBox("Done!");
  platform::ShowMessageBox("Magic number does not concide", "TQ4410");
  platform::SetMessageBoxHook(previous);
  EXPECT_EQ(shown, (std::vector<std::string>{"|Done!", "TQ4410|Magic number does not concide"}));
}

TEST(OsVersion, ModernByDefaultAndOverridableForOlderSystems) {
  EXPECT_GE(platform::GetOsVersion().major, 10u);
  platform::SetOsVersionOverride(platform::OsVersion{6, 1, 7601});
  EXPECT_EQ(platform::GetOsVersion().major, 6u);
  platform::SetOsVersionOverride(std::nullopt);
  EXPECT_GE(platform::GetOsVersion().major, 10u);
}

TEST(PseudoTerminal, HostSideIsATerminalThatVanishesWhenTheControllerCloses) {
  auto pty = platform::PseudoTerminal::Create();
  ASSERT_TRUE(pty);
  auto device = platform::SerialDevice::Create();
  ASSERT_TRUE(device->Open(pty->Path()));
  ASSERT_TRUE(device->SetLine({}));
  const uint8_t hello[] = {1, 2, 3};
  ASSERT_EQ(device->Write(hello, 3, 1000), platform::IoStatus::kOk);
  uint8_t in[8];
  size_t got = 0;
  ASSERT_EQ(pty->Read(in, sizeof in, got, 1000), platform::IoStatus::kOk);
  EXPECT_EQ(got, 3u);
  pty->Close();
  EXPECT_FALSE(pty->IsOpen());
  EXPECT_EQ(device->Read(in, sizeof in, got), platform::IoStatus::kVanished);
}

// Another user's directory is checked by naming another owner: only root could make one.
TEST(PrivateFiles, OnlyARealDirectoryOfTheUsersOwnThatNoOneElseMayUseIsAccepted) {
  namespace fs = std::filesystem;
  testing_support::TempDir dir;
  const std::string mine = dir / "mine";
  EXPECT_EQ(platform::MakePrivateDirectory(mine), "");
  EXPECT_EQ(fs::status(mine).permissions() & fs::perms::mask, fs::perms::owner_all);
  EXPECT_NE(platform::PrivateDirectoryProblem(mine, platform::UserId() + 1).find("belongs to user"),
            std::string::npos);
  fs::create_directory_symlink(mine, dir.Path() / "link");
  EXPECT_NE(platform::MakePrivateDirectory(dir / "link").find("symbolic link"), std::string::npos);
  std::ofstream(dir / "file") << "x";
  EXPECT_NE(platform::MakePrivateDirectory(dir / "file").find("not a directory"),
            std::string::npos);
  fs::permissions(mine, fs::perms::others_exec, fs::perm_options::add);
  EXPECT_NE(platform::MakePrivateDirectory(mine).find("mode 0701"), std::string::npos);
  // Closed to others instead, where that is asked for; a link is never followed to do it.
  EXPECT_EQ(platform::MakePrivateDirectory(mine, true), "");
  EXPECT_EQ(fs::status(mine).permissions() & fs::perms::mask, fs::perms::owner_all);
  fs::permissions(mine, fs::perms::others_exec, fs::perm_options::add);
  EXPECT_NE(platform::MakePrivateDirectory(dir / "link", true), "");
  EXPECT_NE(fs::status(mine).permissions() & fs::perms::others_exec, fs::perms::none);
}

TEST(Terminal, OnlyATerminalDeviceIsOne) {
  auto pty = platform::PseudoTerminal::Create();
  ASSERT_TRUE(pty);
  std::FILE* host = std::fopen(pty->Path().c_str(), "w");
  ASSERT_NE(host, nullptr);
  EXPECT_TRUE(platform::IsTerminal(host));
  std::fclose(host);
  std::FILE* null = std::fopen("/dev/null", "w");  // a character device, but not a terminal
  ASSERT_NE(null, nullptr);
  EXPECT_FALSE(platform::IsTerminal(null));
  std::fclose(null);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(platform::IsTerminal(file));
  std::fclose(file);
  EXPECT_FALSE(platform::IsTerminal(nullptr));

  // The same judgement by path, without opening: a pseudo-terminal is, /dev/null is not.
  EXPECT_TRUE(platform::IsTerminalDevice(pty->Path()));
  EXPECT_FALSE(platform::IsTerminalDevice("/dev/null"));
  EXPECT_FALSE(platform::IsTerminalDevice("/proc/self/status"));
  EXPECT_FALSE(platform::IsTerminalDevice("/dev/no-such-port"));
}

// Bars are drawn only on a terminal whose TERM names one that moves its cursor.
TEST(Terminal, DrawsOnlyOnATerminalThatIsNotDumb) {
  auto pty = platform::PseudoTerminal::Create();
  ASSERT_TRUE(pty);
  std::FILE* host = std::fopen(pty->Path().c_str(), "w");
  ASSERT_NE(host, nullptr);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const char* was = std::getenv("TERM");
  const std::string saved = was != nullptr ? was : "";
  ::setenv("TERM", "xterm", 1);
  EXPECT_TRUE(platform::PrepareForDrawing(host));
  EXPECT_FALSE(platform::PrepareForDrawing(file));
  ::setenv("TERM", "dumb", 1);
  EXPECT_FALSE(platform::PrepareForDrawing(host));
  ::unsetenv("TERM");
  EXPECT_FALSE(platform::PrepareForDrawing(host));
  if (was != nullptr) ::setenv("TERM", saved.c_str(), 1);
  std::fclose(file);
  std::fclose(host);
}

// A container or CI machine has no system bus: the hold says so and nothing fails.
TEST(SleepInhibit, WithoutASystemBusNothingIsHeldAndTheWarningSaysWhy) {
  const testing_support::NoSystemBus noBus;
  const platform::SleepInhibit hold("a test");
  if (hold.Problem() == "this build cannot keep the system awake") GTEST_SKIP() << hold.Problem();
  EXPECT_FALSE(hold.Held());
  EXPECT_EQ(hold.Problem(), "no system bus: No such file or directory");
  EXPECT_EQ(hold.Warning(),
            "the system may sleep while phones are written (" + hold.Problem() + ")");
}

TEST(SerialDevice, MissingDeviceAndUnknownBaudAreRefused) {
  auto device = platform::SerialDevice::Create();
  EXPECT_FALSE(device->Open("/dev/does-not-exist-tty"));
  EXPECT_FALSE(device->Open("/dev/null"));  // not a terminal
  auto pty = platform::PseudoTerminal::Create();
  ASSERT_TRUE(device->Open(pty->Path()));
  EXPECT_FALSE(device->SetBaud(123456));
  EXPECT_TRUE(device->SetBaud(3000000));
}

}  // namespace

namespace {

TEST(SerialDevice, SecondOpenOfTheSamePortIsRefusedUntilTheFirstCloses) {
  auto pty = platform::PseudoTerminal::Create();
  ASSERT_TRUE(pty);
  auto first = platform::SerialDevice::Create();
  auto second = platform::SerialDevice::Create();
  ASSERT_TRUE(first->Open(pty->Path()));
  EXPECT_FALSE(second->Open(pty->Path()));  // refused even to root
  first->Close();
  EXPECT_TRUE(second->Open(pty->Path()));
}

}  // namespace
