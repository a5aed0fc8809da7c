// The progress bar's byte estimate: the plug-in's step notices say what each step moves and what
// the phone acknowledged; the rate and time left follow.

#include <gtest/gtest.h>

#include "cli/throughput.h"

namespace {

using notify::StepKind;
using notify::StepNotice;
using notify::StepPhase;

constexpr uint64_t kMB = 1000000;

StepNotice Notice(StepPhase phase, uint64_t planned, uint64_t done) {
  StepNotice n;
  n.phase = phase;
  n.kind = StepKind::kPartition;
  n.fileIndex = 0;
  n.bytesPlanned = planned;
  n.bytesDone = done;
  return n;
}

TEST(Throughput, NothingIsKnownBeforeDataMoves) {
  cli::Throughput t(12 * kMB);
  StepNotice config = Notice(StepPhase::kBegin, 0, 0);
  config.kind = StepKind::kConfiguration;
  t.OnStep(config, 0);
  t.OnCode(50, 100);
  const auto e = t.At(1000);
  EXPECT_EQ(e.doneBytes, 0u);
  EXPECT_EQ(e.bytesPerSecond, 0);
  EXPECT_FALSE(e.secondsLeft.has_value());
}

TEST(Throughput, AcknowledgedBytesOfEveryStepAddUp) {
  cli::Throughput t(12 * kMB);
  t.OnStep(Notice(StepPhase::kBegin, 2 * kMB, 0), 1000);
  t.OnStep(Notice(StepPhase::kAdvance, 2 * kMB, 1 * kMB), 1500);
  auto e = t.At(2000);
  EXPECT_EQ(e.doneBytes, 1 * kMB);
  EXPECT_DOUBLE_EQ(e.bytesPerSecond, 1e6);  // 1 MB in the second since the step began
  ASSERT_TRUE(e.secondsLeft.has_value());
  EXPECT_DOUBLE_EQ(*e.secondsLeft, 11.0);
  // A step that ends short counts what the phone took, not what was planned.
  t.OnStep(Notice(StepPhase::kEnd, 2 * kMB, 1 * kMB), 2100);
  t.OnStep(Notice(StepPhase::kBegin, 8 * kMB, 0), 2500);
  t.OnStep(Notice(StepPhase::kAdvance, 8 * kMB, 2 * kMB), 3000);
  EXPECT_EQ(t.At(3000).doneBytes, 3 * kMB);
}

// A factory partition of 3,000,000 sectors and more is announced in MBytes; its size comes from
// the step's plan, so the rate and the time left are those of the real bytes.
TEST(Throughput, APartitionAnnouncedInMegabytesCountsItsRealSize) {
  constexpr uint64_t kSectors = 3000000;
  constexpr uint64_t kBytes = kSectors * 512;  // 1.43 GiB, "Partition size is 1464 MBytes"
  cli::Throughput t(kBytes);
  StepNotice begin = Notice(StepPhase::kBegin, 0, 0);
  begin.kind = StepKind::kFactoryImage;
  t.OnStep(begin, 0);
  t.OnStep(Notice(StepPhase::kAdvance, kBytes, kBytes / 4), 10000);
  const auto e = t.At(10000);
  EXPECT_EQ(e.doneBytes, kBytes / 4);
  EXPECT_DOUBLE_EQ(e.bytesPerSecond, static_cast<double>(kBytes / 4) / 10.0);
  ASSERT_TRUE(e.secondsLeft.has_value());
  EXPECT_DOUBLE_EQ(*e.secondsLeft, 30.0);
}

TEST(Throughput, TheVerdictsStopTheClock) {
  cli::Throughput t(5 * kMB);
  t.OnStep(Notice(StepPhase::kBegin, 1 * kMB, 0), 0);
  t.OnStep(Notice(StepPhase::kAdvance, 1 * kMB, 1 * kMB), 500);
  t.OnCode(400, 1000);
  const auto e = t.At(5000);
  EXPECT_EQ(e.doneBytes, 5 * kMB);
  EXPECT_EQ(*e.secondsLeft, 0);
  EXPECT_DOUBLE_EQ(e.bytesPerSecond, 5e6);  // the clock stopped at the verdict

  cli::Throughput failed(5 * kMB);
  failed.OnStep(Notice(StepPhase::kBegin, 1 * kMB, 0), 0);
  failed.OnStep(Notice(StepPhase::kAdvance, 1 * kMB, 200000), 100);
  failed.OnCode(200, 1000);
  failed.OnCode(400, 2000);  // nothing after a failure changes the count
  failed.OnStep(Notice(StepPhase::kAdvance, 1 * kMB, 900000), 2100);
  EXPECT_EQ(failed.At(9000).doneBytes, 200000u);
  // What the phone acknowledged is counted to the end, for the summary: never the plan.
  failed.OnStep(Notice(StepPhase::kEnd, 1 * kMB, 900000), 2200);
  EXPECT_EQ(failed.Acknowledged(), 900000u);
  EXPECT_EQ(t.Acknowledged(), 1 * kMB);  // the 400 counted the rest for the bar only
}

}  // namespace
