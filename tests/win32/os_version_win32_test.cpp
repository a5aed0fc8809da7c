#include <gtest/gtest.h>

#include "corvane/platform/os_version.h"

namespace {

// A program without a manifest is told 6.2.9200 (Windows 8) by GetVersionEx whatever it runs
// on; the kernel's answer is the real one (Wine's prefix says Windows 10 unless set otherwise).
// Only a machine really running Windows 8 would answer 6.2.9200 here.
TEST(OsVersionWin32, TheRealVersionAndTheOverrideThatReplacesIt) {
  const platform::OsVersion real = platform::GetOsVersion();
  EXPECT_FALSE(real.major == 6 && real.minor == 2 && real.build == 9200)
      << real.major << "." << real.minor << "." << real.build;
  EXPECT_GE(real.major, 6u);
  platform::SetOsVersionOverride(platform::OsVersion{6, 1, 7601});
  EXPECT_EQ(platform::GetOsVersion().major, 6u);
  EXPECT_EQ(platform::GetOsVersion().minor, 1u);
  platform::SetOsVersionOverride(std::nullopt);
  EXPECT_EQ(platform::GetOsVersion().build, real.build);
}

}  // namespace
