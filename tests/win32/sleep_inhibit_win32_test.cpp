#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "corvane/platform/sleep_inhibit.h"

namespace {

// Holds overlap, and one taken on one thread may be let go on another.
TEST(SleepInhibitWin32, HoldsOverlapAndAnyThreadLetsGo) {
  auto first = std::make_unique<platform::SleepInhibit>("Writing firmware into a phone");
  EXPECT_TRUE(first->Held()) << first->Problem();
  EXPECT_EQ(first->Warning(), "");
  platform::SleepInhibit second("a second phone");
  EXPECT_TRUE(second.Held()) << second.Problem();
  std::thread([&first] { first.reset(); }).join();
  EXPECT_TRUE(second.Held());
}

}  // namespace
