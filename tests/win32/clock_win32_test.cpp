#include <gtest/gtest.h>

#include "corvane/platform/clock.h"

namespace {

// 1e9 s after 1970 fall on 9 September 2001 in every time zone but a day's reach of midnight.
TEST(ClockWin32, LocalTimeIsTheCalendarDay) {
  std::tm local{};
  ASSERT_TRUE(platform::LocalTime(1'000'000'000, local));
  EXPECT_EQ(local.tm_year, 101);
  EXPECT_EQ(local.tm_mon, 8);
  EXPECT_NEAR(local.tm_mday, 9, 1);
}

}  // namespace
