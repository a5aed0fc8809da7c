// What the download window shows: the log's time prefix and the factory rows.

#include "host/download_view.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

TEST(ElapsedPrefix, MinutesAndTenthsOfSecondsAsTheLogShowsThem) {
  EXPECT_EQ(view::ElapsedPrefix(0), "00:00.0 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(7200), "00:07.2 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(45000), "00:45.0 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(83500), "01:23.5 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(75300), "01:15.3 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(125000), "02:05.0 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(60000), "01:00.0 Sec  :");
  // Seconds are rounded to tenths after the minutes came off, as the log always did.
  EXPECT_EQ(view::ElapsedPrefix(119999), "01:60.0 Sec  :");
  EXPECT_EQ(view::ElapsedPrefix(600000), "10:00.0 Sec  :");
}

TEST(FactoryRows, ModelNameIsCutTo15AndPidEndsAtZeroOr17Bytes) {
  EXPECT_EQ(view::ModelNameRow("TQ4410").value, "TQ4410");
  const view::FactoryRow name = view::ModelNameRow("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(name.item, "MODEL NAME");
  EXPECT_EQ(name.value, "ABCDEFGHIJKLMNO");

  std::array<uint8_t, 64> pid{};
  std::memset(pid.data(), 'P', pid.size());
  EXPECT_EQ(view::PidRow(pid.data()).item, "PID");
  EXPECT_EQ(view::PidRow(pid.data()).value, std::string(17, 'P'));
  pid[10] = 0;
  EXPECT_EQ(view::PidRow(pid.data()).value, std::string(10, 'P'));
  EXPECT_EQ(view::PidRow(nullptr).value, "");
}

}  // namespace
