#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/progress_state.h"
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

constexpr uint32_t kRunOutcomeVersion = 1;

// A run's outcome as it crosses the plug-in boundary (kMsgStatusWindowOutcome): a plain structure
// with fixed-width fields; later versions only append fields and raise `version`, so a reader
// takes any version at least its own whose `structSize` covers the fields it reads.
struct RunOutcome {
  uint32_t structSize = sizeof(RunOutcome);
  uint32_t version = kRunOutcomeVersion;
  Verdict verdict = Verdict::kRunning;
  int32_t result = 0;          // the entry point's result
  int32_t failureCode = 0;     // 1: the plug-in sent 200
  int32_t unwrittenFiles = 0;  // given files that no step wrote
  const char* reason = "";     // Judgement::reason; valid during the call
};

// The outcome behind an lParam of kMsgStatusWindowOutcome, or null when it is older than this
// reader.
inline const RunOutcome* RunOutcomeOf(platform::LPARAM lParam) {
  const auto* o = reinterpret_cast<const RunOutcome*>(lParam);
  if (o == nullptr || o->version < kRunOutcomeVersion || o->structSize < sizeof(RunOutcome)) {
    return nullptr;
  }
  return o;
}

// Follows one run: its status lines, progress codes and step notices, its end. Owns the bar's
// state and the facts of the verdict. OnStep may be called from any thread (a run's worker
// counts its steps itself); everything else from one thread at a time.
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

  void OnStatusText(const std::string& line);
  void OnStep(const StepNotice& notice) { written_.OnStep(notice); }
  // Applies a progress code at `nowMs` (the run's clock). A 400 stands only when the facts so
  // far bear it out: after a 200, or with a given file no step wrote, it shows "Error" instead.
  // Returns the verdict tone that this code brought (kError, kComplete), or nullopt.
  std::optional<Tone> OnCode(intptr_t code, uint64_t nowMs);
  // The pre-flight refused the files: nothing runs, the bar shows "Error".
  std::optional<Tone> Refuse(const std::string& why, uint64_t nowMs);
  // The entry point returned `result`; `cancelled`: the run's window was closed meanwhile. A
  // run that did not succeed turns the bar red. Returns the tone it brought, as OnCode does.
  std::optional<Tone> End(int result, bool cancelled, uint64_t nowMs);

  RunFacts Facts() const;
  Judgement Decide() const { return Judge(Facts()); }
  // The outcome as a plain value; `reason` points into this watch and stays valid until the
  // next call that changes it.
  RunOutcome Outcome() const;

  const ProgressState& Progress() const { return progress_; }
  WrittenFiles& Written() { return written_; }
  const std::vector<std::string>& Files() const { return setup_.files; }

 private:
  std::optional<Tone> Show(intptr_t code, uint64_t nowMs);
  bool ClaimsTooMuch() const;

  Setup setup_;
  ProgressState progress_;
  WrittenFiles written_;
  bool ended_ = false;
  int result_ = 0;
  bool cancelled_ = false;
  bool failureCode_ = false;
  std::string failureLine_;
  bool awaitingLine_ = false;  // a 200 came with no line since the code before it
  std::optional<std::string> lineSinceCode_;
  std::string refusal_;
  mutable std::string reason_;  // what Outcome() points into
};

}  // namespace notify
