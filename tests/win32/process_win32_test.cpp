// Processes told apart by id and start time, and the user's folders, on Windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

#include "corvane/platform/process.h"
#include "win32/wide_names.h"

namespace {

// Now in the unit the start times come in: 100-ns steps since 1601.
uint64_t Now() {
  using Steps = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
  constexpr int64_t kEpochInSteps = 116444736000000000LL;
  const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(kEpochInSteps +
                               std::chrono::duration_cast<Steps>(since1970).count());
}

TEST(ProcessWin32, ThisProcessStartedInThePastAndKeepsItsStartTime) {
  const int64_t me = platform::ProcessId();
  EXPECT_TRUE(platform::ProcessAlive(me));
  const std::optional<uint64_t> started = platform::ProcessStartTime(me);
  ASSERT_TRUE(started);
  EXPECT_EQ(platform::ProcessStartTime(me), started);
  const uint64_t now = Now();
  constexpr uint64_t kHourIn100Ns = 36'000'000'000ULL;
  EXPECT_LT(*started, now + 1);
  EXPECT_GT(*started, now - kHourIn100Ns);
  EXPECT_FALSE(platform::ProcessAlive(0));
  EXPECT_FALSE(platform::ProcessStartTime(-4));
}

// An ended process still has its id while someone holds it open: it runs no more all the same.
TEST(ProcessWin32, AnEndedProcessHeldOpenDoesNotRun) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  wchar_t command[] = L"cmd.exe /c exit 3";
  ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &child));
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(platform::ProcessAlive(child.dwProcessId));
  EXPECT_FALSE(platform::ProcessStartTime(child.dwProcessId));
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

TEST(ProcessWin32, TheConfigurationDirectoryIsAppDataEvenInHangul) {
  const std::wstring was = _wgetenv(L"APPDATA") != nullptr ? _wgetenv(L"APPDATA") : L"";
  ASSERT_EQ(_wputenv_s(L"APPDATA", L"C:\\\xD38C\xC77C\\Roaming"), 0);
  EXPECT_EQ(platform::UserConfigDirectory(), "C:\\" + win32_test::kHangul + "\\Roaming");
  ASSERT_EQ(_wputenv_s(L"APPDATA", L""), 0);  // unset: the known folder
  EXPECT_NE(platform::UserConfigDirectory(), "");
  _wputenv_s(L"APPDATA", was.c_str());
  EXPECT_NE(platform::ExecutableDirectory(), "");
  EXPECT_GT(platform::PeakResidentBytes(), 0u);
}

// An installed program keeps its settings in the user's folder: Program Files is the system's,
// by either separator and any case; a folder that only begins with its name is not.
TEST(ProcessWin32, ProgramFilesIsTheSystemsProgramDirectory) {
  const char* programFiles = std::getenv("ProgramFiles");  // NOLINT(concurrency-mt-unsafe)
  ASSERT_NE(programFiles, nullptr);
  const std::string root = programFiles;
  EXPECT_TRUE(platform::InSystemProgramDirectory(root + "\\Tarvex"));
  std::string lower = root + "/tarvex";
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(platform::InSystemProgramDirectory(lower));
  EXPECT_FALSE(platform::InSystemProgramDirectory(root + " Extra\\Tarvex"));
  EXPECT_FALSE(platform::InSystemProgramDirectory("C:\\tools\\" + win32_test::kHangul));
}

}  // namespace
