// How a run ends, decided once for every front end: the verdict of a run's facts, the line that
// explains a failure, and the bar as the plug-in's codes drive it.

#include "corvane/platform/run_outcome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/reporter.h"
#include "corvane/platform/step_log.h"
#include "support/recording_window.h"

namespace {

using notify::ProgressState;
using notify::RunFacts;
using notify::Tone;
using notify::Verdict;

TEST(RunVerdict, EveryFactThatFailsARunFailsItWhateverCameAfter) {
  const auto ran = [](int result) {
    RunFacts f;
    f.ended = true;
    f.result = result;
    f.givenFiles = 2;
    return f;
  };
  struct Case {
    const char* name;
    RunFacts facts;
    Verdict verdict;
    std::string reason;
  };
  std::vector<Case> cases;
  cases.push_back({"clean run", ran(1), Verdict::kSucceeded, ""});
  cases.push_back({"still running", {}, Verdict::kRunning, ""});
  RunFacts failedThenOne = ran(1);
  failedThenOne.failureCode = true;
  failedThenOne.failureLine = "Req StartA error!";
  cases.push_back({"200 then result 1", failedThenOne, Verdict::kFailed, "Req StartA error!"});
  RunFacts silentZero = ran(0);
  cases.push_back(
      {"0 without a word", silentZero, Verdict::kFailed, "The plug-in reported failure"});
  RunFacts unwritten = ran(1);
  unwritten.unwritten = {"/f/extra.img"};
  cases.push_back(
      {"a given file unwritten", unwritten, Verdict::kFailed, "Not written: /f/extra.img"});
  RunFacts excused = unwritten;
  excused.allowUnused = true;
  cases.push_back({"unwritten, allowed", excused, Verdict::kSucceeded, ""});
  RunFacts nothing = excused;  // allowed extra files, but none of the two was written
  nothing.unwritten = {"/f/a.img", "/f/b.img"};
  cases.push_back({"no step at all", nothing, Verdict::kFailed, "Not written: /f/a.img /f/b.img"});
  RunFacts cancelled = failedThenOne;
  cancelled.cancelled = true;
  cases.push_back({"cancelled", cancelled, Verdict::kCancelled, "Cancelled"});
  RunFacts doneBeforeCancel = ran(1);
  doneBeforeCancel.cancelled = true;
  cases.push_back({"succeeded before the close", doneBeforeCancel, Verdict::kSucceeded, ""});
  RunFacts refused;
  refused.refusal = "/f/a.img: cannot be read";
  cases.push_back({"refused", refused, Verdict::kRefused, "/f/a.img: cannot be read"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const notify::Judgement j = notify::Judge(c.facts);
    EXPECT_EQ(j.verdict, c.verdict);
    EXPECT_EQ(j.reason, c.reason);
  }
}

notify::StepNotice WriteOf(int32_t file) {
  notify::StepNotice n;
  n.phase = notify::StepPhase::kEnd;
  n.fileIndex = file;
  n.succeeded = 1;
  return n;
}

// A 200 is explained by the line sent just before it, or right after it when the code came
// first; a 400 after it, or one that claims files no step wrote, shows "Error".
TEST(RunWatch, TheFailureLineAndACompletionTheFactsDoNotBear) {
  notify::RunWatch first({{"a.img"}, true});
  first.OnStatusText("Download Start...");
  first.OnCode(0, 0);
  first.OnCode(notify::kProgressFailed, 0);
  first.OnStatusText("We can't communicate with specific port");
  EXPECT_EQ(first.Facts().failureLine, "We can't communicate with specific port");

  notify::RunWatch after({{"a.img"}, true});
  after.OnStatusText("Req StartA error!");
  EXPECT_EQ(after.OnCode(notify::kProgressFailed, 0), Tone::kError);
  after.OnStatusText("Code Download fail");
  EXPECT_EQ(after.OnCode(notify::kProgressComplete, 10), std::nullopt);
  EXPECT_EQ(after.Progress().Text(10), "Error");
  after.OnStep(WriteOf(0), 15);
  EXPECT_EQ(after.End(1, false, 20), std::nullopt);  // red already
  const notify::RunOutcome o = after.Outcome();
  EXPECT_EQ(o.verdict, Verdict::kFailed);
  EXPECT_STREQ(o.reason, "Req StartA error!");

  notify::RunWatch claims({{"a.img", "b.img"}, true});
  claims.OnStep(WriteOf(0), 0);
  EXPECT_EQ(claims.OnCode(notify::kProgressComplete, 0), Tone::kError);
  notify::RunWatch done({{"a.img", "b.img"}, true});
  done.OnStep(WriteOf(0), 0);
  done.OnStep(WriteOf(1), 0);
  EXPECT_EQ(done.OnCode(notify::kProgressComplete, 0), Tone::kComplete);
  EXPECT_EQ(done.End(1, false, 10), std::nullopt);
  EXPECT_EQ(done.Decide().verdict, Verdict::kSucceeded);
}

notify::StepNotice Notice(notify::StepPhase phase, notify::StepKind kind, int32_t file,
                          uint64_t planned, uint64_t done) {
  notify::StepNotice n;
  n.phase = phase;
  n.kind = kind;
  n.fileIndex = file;
  n.bytesPlanned = planned;
  n.bytesDone = done;
  n.name = "boot.img";
  return n;
}

const std::string kDigest(64, 'a');

// The end of a partition that read its whole file: done, with the file's digest.
notify::StepNotice PartitionEnd(uint64_t bytes) {
  notify::StepNotice n =
      Notice(notify::StepPhase::kEnd, notify::StepKind::kPartition, 1, bytes, bytes);
  n.succeeded = 1;
  n.sha256 = kDigest.c_str();
  n.bytesHashed = bytes;
  return n;
}

// A first-version notice as an older plug-in sends it; what lies past its size (here a digest
// that must not be believed) is none of its fields.
notify::StepNotice FirstVersion(notify::StepNotice n) {
  n.version = 1;
  n.structSize = notify::kStepNoticeV1Size;
  return n;
}

TEST(StepLog, EachStepsTimeBytesResultAndDigestAndTheFirstAndLatestLines) {
  notify::StepLog log(2, 2);
  using notify::StepKind;
  using notify::StepPhase;
  log.OnStep(Notice(StepPhase::kBegin, StepKind::kPartition, 1, 1000, 0), 100);
  log.OnStep(Notice(StepPhase::kAdvance, StepKind::kPartition, 1, 1000, 500), 150);
  log.OnStep(PartitionEnd(1000), 400);
  log.OnStep(Notice(StepPhase::kBegin, StepKind::kErase, notify::kNoFile, 0, 0), 500);
  log.OnStep(Notice(StepPhase::kEnd, StepKind::kErase, notify::kNoFile, 0, 0), 520);
  // An older plug-in's step: read for what its version has, its digest never looked for.
  const auto old = FirstVersion(PartitionEnd(77));
  const notify::StepNotice* n = notify::StepNoticeOf(reinterpret_cast<platform::LPARAM>(&old));
  ASSERT_NE(n, nullptr);
  EXPECT_FALSE(notify::HasDigest(*n));
  log.OnStep(*n, 600);
  for (int i = 1; i <= 7; ++i) log.OnStatusText("line " + std::to_string(i));

  const notify::StepHistory h = log.Snapshot();
  ASSERT_EQ(h.steps.size(), 3u);
  const notify::StepRecord& boot = h.steps[0];
  EXPECT_EQ(boot.beginMs, 100u);
  EXPECT_EQ(boot.DurationMs(), 300u);
  EXPECT_EQ(boot.bytesDone, 1000u);
  EXPECT_TRUE(boot.ended && boot.succeeded);
  EXPECT_EQ(boot.name, "boot.img");
  EXPECT_EQ(boot.sha256, kDigest);
  EXPECT_EQ(boot.bytesHashed, 1000u);
  EXPECT_FALSE(boot.partial);
  EXPECT_TRUE(h.steps[1].ended && !h.steps[1].succeeded);
  EXPECT_EQ(h.steps[1].DurationMs(), 20u);
  EXPECT_TRUE(h.steps[2].succeeded);
  EXPECT_EQ(h.steps[2].bytesDone, 77u);
  EXPECT_EQ(h.steps[2].sha256, "");
  EXPECT_EQ(h.steps[2].bytesHashed, 0u);
  EXPECT_EQ(h.lines,
            (std::vector<std::string>{"line 1", "line 2", "\u2026 3 lines dropped here \u2026",
                                      "line 6", "line 7"}));
  EXPECT_EQ(h.droppedLines, 3u);
}

// The sequence's own pauses are told apart from the host's overhead: each thread counts its own,
// and a step's end notice carries those made while it was open, never another thread's.
TEST(StepPauses, AStepsEndCarriesThePausesOfItsOwnThreadWhileItWasOpen) {
  testing_support::RecordingWindow window;
  Reporter reporter;
  reporter.SetWindow(&window);
  platform::SleepMs(30);  // before the step: not its pause
  reporter.BeginStep(notify::StepKind::kModemImage, 0, 10, "modem");
  std::thread([] { platform::SleepMs(300); }).join();  // another thread's
  platform::SleepMs(20);
  platform::CountPause(5000);  // a silence waited out
  reporter.EndStep(true);
  const auto steps = window.Steps();
  ASSERT_EQ(steps.size(), 2U);
  EXPECT_EQ(steps[0].notice.pausedUs, 0U);
  const notify::StepNotice& end = steps[1].notice;
  ASSERT_TRUE(notify::HasPauses(end));
  EXPECT_GE(end.pausedUs, 25000U);
  EXPECT_LT(end.pausedUs, 300000U);
  notify::StepLog log;
  log.OnStep(steps[0].notice, 0);
  log.OnStep(end, 1);
  EXPECT_EQ(log.Snapshot().steps.at(0).pausedUs, end.pausedUs);
  notify::StepNotice older = end;  // a version-2 plug-in's notice has no pauses to read
  older.version = 2;
  older.structSize = offsetof(notify::StepNotice, pausedUs);
  EXPECT_FALSE(notify::HasPauses(older));
  EXPECT_EQ(notify::CopyOf(older).pausedUs, 0U);
}

// The step record and the phone's factory data cross the plug-in boundary as plain values and
// come back whole; outcomes of the earlier versions are still read, without what they lack.
TEST(RunOutcome, TheStepRecordCrossesAsPlainValuesAndAFirstVersionStillReads) {
  notify::RunWatch watch({{"", "boot.img"}, true});
  watch.OnStatusText("boot.img  writing start");
  watch.OnFactory(notify::kFactoryModelName,
                  reinterpret_cast<platform::LPARAM>("TQ4410-LONG-MODEL"));
  uint8_t pid[64] = {};
  std::memset(pid, 'P', 20);  // no zero byte where the PID ends
  watch.OnFactory(notify::kFactoryPid, reinterpret_cast<platform::LPARAM>(pid));
  watch.OnStep(Notice(notify::StepPhase::kBegin, notify::StepKind::kPartition, 1, 1000, 0), 10);
  notify::StepNotice end = PartitionEnd(1000);
  end.pausedUs = 7000;
  watch.OnStep(end, 30);
  watch.End(1, false, 40);
  const notify::RunOutcome sent = watch.Outcome();
  const notify::RunOutcome* o = notify::RunOutcomeOf(reinterpret_cast<platform::LPARAM>(&sent));
  ASSERT_NE(o, nullptr);
  ASSERT_TRUE(notify::HasStepRecord(*o));
  const notify::StepHistory h = notify::HistoryOf(*o);
  ASSERT_EQ(h.steps.size(), 1u);
  EXPECT_EQ(h.steps[0].sha256, kDigest);
  EXPECT_EQ(h.steps[0].DurationMs(), 20u);
  EXPECT_TRUE(h.steps[0].succeeded);
  EXPECT_EQ(h.steps[0].pausedUs, 7000u);
  EXPECT_EQ(h.lines, std::vector<std::string>{"boot.img  writing start"});
  ASSERT_TRUE(notify::HasFactory(*o));
  EXPECT_EQ(std::string(o->modelName), "TQ4410-LONG-MOD");
  EXPECT_EQ(std::string(o->pid), std::string(17, 'P'));

  notify::RunOutcome second = sent;  // its step entries end where their pauses would begin
  second.version = 2;
  second.structSize = notify::kRunOutcomeV2Size;
  std::vector<uint8_t> entry(notify::kRunStepV2Size + 8, 0xEE);
  std::memcpy(entry.data(), o->steps, notify::kRunStepV2Size);
  second.steps = reinterpret_cast<const notify::RunStep*>(entry.data());
  second.stepSize = notify::kRunStepV2Size;
  ASSERT_TRUE(notify::HasStepRecord(second));
  EXPECT_FALSE(notify::HasFactory(second));
  const notify::StepHistory older = notify::HistoryOf(second);
  ASSERT_EQ(older.steps.size(), 1u);
  EXPECT_EQ(older.steps[0].sha256, kDigest);
  EXPECT_EQ(older.steps[0].pausedUs, 0u);

  notify::RunOutcome first = sent;  // what lies past the first version's size is not its own
  first.version = 1;
  first.structSize = notify::kRunOutcomeV1Size;
  const notify::RunOutcome* old = notify::RunOutcomeOf(reinterpret_cast<platform::LPARAM>(&first));
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->verdict, notify::Verdict::kSucceeded);
  EXPECT_FALSE(notify::HasStepRecord(*old));
  EXPECT_TRUE(notify::HistoryOf(*old).steps.empty());
}

TEST(ProgressState, PositionsAndVerdictsAndAFailureThatStays) {
  ProgressState p;
  p.Apply(37, 0);
  EXPECT_EQ(p.Position(0), 37);
  EXPECT_EQ(p.Text(0), "Processing completed 37%");
  p.Apply(300, 40);
  EXPECT_EQ(p.Position(40), 100);
  EXPECT_EQ(p.Text(40), "Tarvex is disconnecting to target");
  p.Apply(200, 50);
  EXPECT_EQ(p.Position(50), 0);
  EXPECT_EQ(p.Text(50), "Error");
  EXPECT_EQ(p.GetTone(), Tone::kError);
  for (intptr_t later : {50, 400, 500, 300}) p.Apply(later, 60);
  EXPECT_EQ(p.Text(4000), "Error");
  EXPECT_EQ(p.Position(4000), 0);
  EXPECT_EQ(p.GetTone(), Tone::kError);

  ProgressState panel(ProgressState::Style::kPercent);  // a status window's wording
  panel.Apply(57, 0);
  EXPECT_EQ(panel.Text(0), "57%");
  panel.Apply(400, 10);
  EXPECT_EQ(panel.Text(10), "Download complete!");
  EXPECT_EQ(panel.GetTone(), Tone::kComplete);
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

}  // namespace
