// The progress bar's byte estimate: steps announced by the plug-in's lines, shares of them by
// its codes, and the rate and time left that follow.

#include <gtest/gtest.h>

#include "cli/throughput.h"

namespace {

constexpr uint64_t kMB = 1000000;

cli::Throughput Sample() {
  return cli::Throughput({{"boot.img", 2 * kMB}, {"system.img", 8 * kMB}}, 12 * kMB);
}

TEST(Throughput, NothingIsKnownBeforeTheFirstStep) {
  cli::Throughput t = Sample();
  t.OnText("Download Start...", 0);
  t.OnCode(50, 100);
  const auto e = t.At(1000);
  EXPECT_EQ(e.doneBytes, 0u);
  EXPECT_EQ(e.bytesPerSecond, 0);
  EXPECT_FALSE(e.secondsLeft.has_value());
}

TEST(Throughput, AnnouncedFilesAreSharedOutByTheCodes) {
  cli::Throughput t = Sample();
  t.OnText("boot.img  writing start", 1000);
  t.OnCode(50, 1500);
  auto e = t.At(2000);
  EXPECT_EQ(e.doneBytes, 1 * kMB);
  EXPECT_DOUBLE_EQ(e.bytesPerSecond, 1e6);  // 1 MB in the second since the step began
  ASSERT_TRUE(e.secondsLeft.has_value());
  EXPECT_DOUBLE_EQ(*e.secondsLeft, 11.0);
  // The next step counts the previous one whole, whatever its last code was.
  t.OnText("system.img  writing start", 2500);
  t.OnCode(25, 3000);
  EXPECT_EQ(t.At(3000).doneBytes, 4 * kMB);
  // Codes of later work that start again from 0 never take bytes back.
  t.OnCode(100, 4000);
  t.OnText("PSI Download start", 4100);
  t.OnCode(0, 4200);
  EXPECT_EQ(t.At(4200).doneBytes, 10 * kMB);
  t.OnText("unknown.img  writing start", 4300);
  EXPECT_EQ(t.At(4300).doneBytes, 10 * kMB);
}

TEST(Throughput, PartitionSizeLinesAndTheVerdicts) {
  cli::Throughput t({}, 5 * 1024 * 1024);
  t.OnText("Partition size is 1024 KBytes", 0);
  t.OnCode(100, 500);
  EXPECT_EQ(t.At(500).doneBytes, 1024u * 1024);
  t.OnText("Partition size is 12 KBytes extra", 600);  // not the plug-in's line: ignored
  t.OnCode(400, 1000);
  const auto e = t.At(5000);
  EXPECT_EQ(e.doneBytes, 5u * 1024 * 1024);
  EXPECT_EQ(*e.secondsLeft, 0);
  EXPECT_DOUBLE_EQ(e.bytesPerSecond, 5.0 * 1024 * 1024);  // the clock stopped at the verdict

  cli::Throughput failed = Sample();
  failed.OnText("boot.img  writing start", 0);
  failed.OnCode(10, 100);
  failed.OnCode(200, 1000);
  failed.OnCode(400, 2000);  // nothing after a failure changes the count
  EXPECT_EQ(failed.At(9000).doneBytes, 200000u);
}

TEST(Throughput, AnUploadIsOneStepOfItsBytes) {
  cli::Throughput t({}, 100 * 512);
  t.BeginStep(100 * 512, 0);
  t.OnCode(64, 640);
  EXPECT_EQ(t.At(640).doneBytes, 64u * 512);
}

}  // namespace
