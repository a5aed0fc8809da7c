#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "corvane/platform/os_version.h"

namespace {

// The build the system records of itself, which no compatibility rule rewrites.
unsigned RecordedBuild() {
  char text[32] = {};
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                   "CurrentBuildNumber", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return 0;
  }
  return static_cast<unsigned>(std::stoul(text));
}

// A program without a manifest is told 6.2.9200 (Windows 8) by GetVersionEx on every newer
// system; the kernel's answer is the real one. Under Wine that shows only with the prefix set to
// Windows 10 (`winecfg -v win10`): the prefix Debian's Wine 8 makes says Windows 7, and no lie.
TEST(OsVersionWin32, TheRealVersionAndTheOverrideThatReplacesIt) {
  const platform::OsVersion real = platform::GetOsVersion();
  const unsigned recorded = RecordedBuild();
  ASSERT_NE(recorded, 0u);
  EXPECT_EQ(real.build, recorded) << real.major << "." << real.minor << "." << real.build;
  EXPECT_EQ(real.major >= 10, recorded >= 10240) << "Windows 10 began with build 10240";
  platform::SetOsVersionOverride(platform::OsVersion{6, 1, 7601});
  EXPECT_EQ(platform::GetOsVersion().major, 6u);
  EXPECT_EQ(platform::GetOsVersion().minor, 1u);
  platform::SetOsVersionOverride(std::nullopt);
  EXPECT_EQ(platform::GetOsVersion().build, real.build);
}

}  // namespace
