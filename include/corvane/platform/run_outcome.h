#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/progress_state.h"
#include "corvane/platform/step_log.h"
#include "corvane/platform/written_files.h"

// How a run ended, decided in one place for every front end: the download window, the plug-in's
// status windows and tarvex-cli all feed a RunWatch with the run's messages and show what it
// says, so a "Pass", a green "Download complete!" and an exit status 0 mean the same thing.
namespace notify {

enum class Verdict : int32_t {
  kRunning = 0,    // the entry point has not returned yet
  kSucceeded = 1,  // it returned 1, no failure was reported and every given file was written
  kFailed = 2,
  kCancelled = 3,  // the user stopped it before it could succeed
  kRefused = 4,    // the files were refused before any phone was touched; nothing ran
};

// What decides a run's verdict, gathered while it runs.
struct RunFacts {
  bool ended = false;         // the entry point has returned
  int result = 0;             // what it returned
  bool failureCode = false;   // the plug-in sent 200 at some point
  std::string failureLine;    // the status line that came with the first 200
  bool reportsSteps = false;  // the plug-in promises a step notice for each step
  bool sawSteps = false;
  size_t givenFiles = 0;               // the non-empty files the run was given
  std::vector<std::string> unwritten;  // of those, the ones no step wrote
  bool allowUnused = false;            // unwritten files are named, not failed (tarvex-cli)
  bool cancelled = false;
  std::string refusal;  // the pre-flight's reason; the run never started
};

struct Judgement {
  Verdict verdict = Verdict::kRunning;
  // "" for a success or a run still going; else the one sentence every front end shows: the
  // line that came with the first 200, "Not written: <paths>", "The plug-in reported failure",
  // the pre-flight's refusal, or "Cancelled".
  std::string reason;
};

// The verdict. A failure once seen is never undone: a 200 fails the run whatever came after it.
CORVANE_API Judgement Judge(const RunFacts& facts);

constexpr uint32_t kRunOutcomeVersion = 4;

// One step of a run as it crosses the plug-in boundary in a RunOutcome (StepRecord as a plain
// structure with fixed-width fields). Later versions only append fields: a reader steps through
// the array by RunOutcome::stepSize, never by its own sizeof.
struct RunStep {
  StepKind kind = StepKind::kPartition;
  int32_t fileIndex = kNoFile;
  int32_t ended = 0;      // 1: the step's end was reported
  int32_t succeeded = 0;  // 1: it did all its work
  int32_t hashPartial = 0;
  uint32_t reserved = 0;  // always 0
  uint64_t beginMs = 0;   // the run's clock (milliseconds since the run started)
  uint64_t endMs = 0;
  uint64_t bytesPlanned = 0;
  uint64_t bytesDone = 0;  // what the phone acknowledged
  uint64_t bytesHashed = 0;
  const char* name = "";
  const char* sha256 = "";  // as in StepNotice: "" when the step read no file itself
  // Version 4: the sequence's own pauses while the step was open (StepNotice::pausedUs).
  uint64_t pausedUs = 0;
};

// The size of a step entry of the second and third versions.
constexpr uint32_t kRunStepV2Size = offsetof(RunStep, pausedUs);

// A run's outcome as it crosses the plug-in boundary (kMsgStatusWindowOutcome): a plain structure
// with fixed-width fields; later versions only append fields and raise `version`, so a reader
// takes any version whose `structSize` covers the fields it reads: the first version's fields
// are always there (RunOutcomeOf), the step record only where HasStepRecord says so, the
// phone's factory data only where HasFactory does. Every pointer is valid during the call only.
struct RunOutcome {
  uint32_t structSize = sizeof(RunOutcome);
  uint32_t version = kRunOutcomeVersion;
  Verdict verdict = Verdict::kRunning;
  int32_t result = 0;          // the entry point's result
  int32_t failureCode = 0;     // 1: the plug-in sent 200
  int32_t unwrittenFiles = 0;  // given files that no step wrote
  const char* reason = "";     // Judgement::reason; valid during the call
  // Version 2: the run's step record (StepLog), steps in the order they began.
  uint32_t stepCount = 0;
  uint32_t stepSize = sizeof(RunStep);  // the size of each entry of `steps`
  const RunStep* steps = nullptr;
  // The status lines in order, "… N lines dropped here …" where the middle of a long run went.
  uint32_t lineCount = 0;
  uint32_t reserved = 0;  // always 0
  const char* const* lines = nullptr;
  uint64_t droppedLines = 0;
  uint64_t droppedSteps = 0;
  // Version 3: the phone's factory data (kMsgFactory) as FactoryModelName and FactoryPid read
  // it, the latest of each; "" when the run was sent none.
  const char* modelName = "";
  const char* pid = "";
};

// The size of the first version, which every outcome has, and of the second.
constexpr uint32_t kRunOutcomeV1Size = offsetof(RunOutcome, stepCount);
constexpr uint32_t kRunOutcomeV2Size = offsetof(RunOutcome, modelName);

// The outcome behind an lParam of kMsgStatusWindowOutcome, or null when it is none. An outcome
// of an older version is returned too: read only its first version's fields unless
// HasStepRecord says more.
inline const RunOutcome* RunOutcomeOf(platform::LPARAM lParam) {
  const auto* o = reinterpret_cast<const RunOutcome*>(lParam);
  if (o == nullptr || o->version < 1 || o->structSize < kRunOutcomeV1Size) return nullptr;
  return o;
}

// Whether the outcome carries the run's step record, with entries this reader can read (an entry
// of an older version reads as having no pauses).
inline bool HasStepRecord(const RunOutcome& o) {
  return o.version >= 2 && o.structSize >= kRunOutcomeV2Size &&
         (o.stepCount == 0 || (o.steps != nullptr && o.stepSize >= kRunStepV2Size)) &&
         (o.lineCount == 0 || o.lines != nullptr);
}

// Whether the outcome carries the phone's factory data (each of which may still be "").
inline bool HasFactory(const RunOutcome& o) {
  return o.version >= 3 && o.structSize >= sizeof(RunOutcome) && o.modelName != nullptr &&
         o.pid != nullptr;
}

// The phone's factory data as every front end shows it: the model name as the phone sent it, at
// most 15 characters; the PID, the first 17 bytes of its 64-byte block taken as characters,
// ending at a zero byte. "" for a null pointer.
CORVANE_API std::string FactoryModelName(const char* name);
CORVANE_API std::string FactoryPid(const uint8_t* block);

// A copy of the step record an outcome carries (empty for an outcome without one), for a host
// to keep after the call.
CORVANE_API StepHistory HistoryOf(const RunOutcome& outcome);

// Follows one run: its status lines, progress codes and step notices, its end. Owns the bar's
// state, the facts of the verdict and the run's step record. OnStep may be called from any
// thread (a run's worker counts its steps itself); everything else from one thread at a time.
class CORVANE_API RunWatch {
 public:
  struct Setup {
    // The files the run must write, indexed as its steps name them; empty entries are none.
    std::vector<std::string> files;
    bool reportsSteps = false;
    bool allowUnused = false;
    ProgressState::Style style = ProgressState::Style::kProcessing;
  };

  explicit RunWatch(Setup setup);

  void OnStatusText(const std::string& line) {
    LogStatusText(line);
    JudgeStatusText(line);
  }
  // The same in two halves, for a line that reaches the window after it was sent: into the run's
  // record at once, on the sender's thread (thread-safe); and what it tells about a failure, in
  // order with the codes around it.
  void LogStatusText(const std::string& line) { steps_.OnStatusText(line); }
  void JudgeStatusText(const std::string& line);
  // A step notice at `nowMs` on the run's clock.
  void OnStep(const StepNotice& notice, uint64_t nowMs) {
    written_.OnStep(notice);
    steps_.OnStep(notice, nowMs);
  }
  // Applies a progress code at `nowMs` (the run's clock). A 400 stands only when the facts so
  // far bear it out: after a 200, or with a given file no step wrote, it shows "Error" instead.
  // Returns the verdict tone that this code brought (kError, kComplete), or nullopt.
  std::optional<Tone> OnCode(intptr_t code, uint64_t nowMs);
  // The pre-flight refused the files: nothing runs, the bar shows "Error".
  std::optional<Tone> Refuse(const std::string& why, uint64_t nowMs);
  // The entry point returned `result`; `cancelled`: the run's window was closed meanwhile. A
  // run that did not succeed turns the bar red. Returns the tone it brought, as OnCode does.
  std::optional<Tone> End(int result, bool cancelled, uint64_t nowMs);
  // A factory row (kMsgFactory's wParam and lParam): the outcome carries the latest of each.
  void OnFactory(platform::WPARAM item, platform::LPARAM value);

  RunFacts Facts() const;
  Judgement Decide() const { return Judge(Facts()); }
  // The outcome as a plain value, with the run's step record; its pointers point into this
  // watch and stay valid until the next call of Outcome().
  RunOutcome Outcome() const;

  const ProgressState& Progress() const { return progress_; }
  WrittenFiles& Written() { return written_; }
  // Each step and every status line of the run.
  const StepLog& Steps() const { return steps_; }
  const std::vector<std::string>& Files() const { return setup_.files; }

 private:
  std::optional<Tone> Show(intptr_t code, uint64_t nowMs);
  bool ClaimsTooMuch() const;
  void AddStepRecord(RunOutcome& outcome) const;

  Setup setup_;
  ProgressState progress_;
  WrittenFiles written_;
  StepLog steps_;
  bool ended_ = false;
  int result_ = 0;
  bool cancelled_ = false;
  bool failureCode_ = false;
  std::string failureLine_;
  bool awaitingLine_ = false;  // a 200 came with no line since the code before it
  std::optional<std::string> lineSinceCode_;
  std::string refusal_;
  std::string modelName_, pid_;
  // What Outcome() points into.
  mutable std::string reason_;
  mutable StepHistory history_;
  mutable std::vector<RunStep> outcomeSteps_;
  mutable std::vector<const char*> outcomeLines_;
};

}  // namespace notify
