// What the download window shows: the log's time prefix, the progress bar under the plug-in's
// codes (with the 500/600 ticker), and the factory rows.

#include "host/download_view.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

using view::ProgressState;
using Tone = ProgressState::Tone;

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

TEST(ProgressState, PositionsAndVerdicts) {
  ProgressState p;
  p.Apply(37, 0);
  EXPECT_EQ(p.Position(0), 37);
  EXPECT_EQ(p.Text(0), "Processing completed 37%");
  p.Apply(200, 10);
  EXPECT_EQ(p.Position(10), 0);
  EXPECT_EQ(p.Text(10), "Error");
  EXPECT_EQ(p.GetTone(), Tone::kError);
  p.Apply(50, 20);  // the unfilled part stays red, the position moves on
  EXPECT_EQ(p.Position(20), 50);
  EXPECT_EQ(p.GetTone(), Tone::kError);
  p.Apply(400, 30);
  EXPECT_EQ(p.Text(30), "Download complete!");
  EXPECT_EQ(p.Position(30), 0);
  EXPECT_EQ(p.GetTone(), Tone::kComplete);
  p.Apply(300, 40);
  EXPECT_EQ(p.Position(40), 100);
  EXPECT_EQ(p.Text(40), "Tarvex is disconnecting to target");
  EXPECT_EQ(p.GetTone(), Tone::kComplete);
}

TEST(ProgressState, TheTickerAddsFiveEveryTwoSecondsUntilSixHundred) {
  ProgressState p;
  p.Apply(20, 0);
  p.Apply(500, 1000);
  EXPECT_EQ(p.Position(1000), 25);
  EXPECT_EQ(p.Position(2999), 25);
  EXPECT_EQ(p.Position(3000), 30);
  EXPECT_EQ(p.Text(5000), "Processing completed 35%");
  // A second 500 adds 5 at once and restarts the period.
  p.Apply(500, 4000);
  EXPECT_EQ(p.Position(4000), 35);
  EXPECT_EQ(p.Position(5999), 35);
  EXPECT_EQ(p.Position(6000), 40);
  // A position from the plug-in replaces the sum; the ticker keeps adding to it.
  p.Apply(37, 6500);
  EXPECT_EQ(p.Position(6500), 37);
  EXPECT_EQ(p.Position(8000), 42);
  p.Apply(600, 9000);
  EXPECT_FALSE(p.TickerRunning());
  EXPECT_EQ(p.Position(9000), 42);
  EXPECT_EQ(p.Position(60000), 42);
}

TEST(ProgressState, TheTickerHasNoUpperBoundButAVerdictStopsIt) {
  ProgressState p;
  p.Apply(95, 0);
  p.Apply(500, 0);
  EXPECT_EQ(p.Position(4000), 110);
  p.Apply(400, 4500);
  EXPECT_FALSE(p.TickerRunning());
  EXPECT_EQ(p.Position(20000), 0);
  EXPECT_EQ(p.Text(20000), "Download complete!");
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
