#include "corvane/platform/run_outcome.h"

#include <algorithm>
#include <cstring>

namespace notify {
namespace {

std::string NotWritten(const std::vector<std::string>& files) {
  std::string text = "Not written:";
  for (const std::string& f : files) text += " " + f;
  return text;
}

const char* Text(const char* text) { return text != nullptr ? text : ""; }

constexpr size_t kModelNameShown = 15;
constexpr size_t kPidShown = 17;

// The text up to its first zero byte, at most `limit` characters of it.
std::string Bounded(const char* text, size_t limit) {
  if (text == nullptr) return "";
  size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return {text, n};
}

// Its strings stay the record's: valid while it is.
RunStep PlainStep(const StepRecord& r) {
  RunStep s;
  s.kind = r.kind;
  s.fileIndex = r.fileIndex;
  s.ended = r.ended ? 1 : 0;
  s.succeeded = r.succeeded ? 1 : 0;
  s.hashPartial = r.partial ? 1 : 0;
  s.beginMs = r.beginMs;
  s.endMs = r.endMs;
  s.bytesPlanned = r.bytesPlanned;
  s.bytesDone = r.bytesDone;
  s.bytesHashed = r.bytesHashed;
  s.name = r.name.c_str();
  s.sha256 = r.sha256.c_str();
  s.pausedUs = r.pausedUs;
  return s;
}

StepRecord RecordOf(const RunStep& s) {
  StepRecord r;
  r.kind = s.kind;
  r.fileIndex = s.fileIndex;
  r.name = Text(s.name);
  r.beginMs = s.beginMs;
  r.endMs = s.endMs;
  r.ended = s.ended != 0;
  r.bytesPlanned = s.bytesPlanned;
  r.bytesDone = s.bytesDone;
  r.succeeded = s.succeeded != 0;
  r.sha256 = Text(s.sha256);
  r.bytesHashed = s.bytesHashed;
  r.partial = s.hashPartial != 0;
  r.pausedUs = s.pausedUs;
  return r;
}

}  // namespace

Judgement Judge(const RunFacts& f) {
  if (!f.refusal.empty()) return {Verdict::kRefused, f.refusal};
  if (!f.ended) return {Verdict::kRunning, ""};
  // Files left over are excused only in a run that wrote something: a run that wrote none of
  // what it was given did not do its work, whatever it says.
  const bool wroteNothing = f.givenFiles > 0 && f.unwritten.size() == f.givenFiles;
  const bool unwrittenFails = !f.unwritten.empty() && (!f.allowUnused || wroteNothing);
  if (f.result != 0 && !f.failureCode && !unwrittenFails) return {Verdict::kSucceeded, ""};
  if (f.cancelled) return {Verdict::kCancelled, "Cancelled"};
  if (f.failureCode && !f.failureLine.empty()) return {Verdict::kFailed, f.failureLine};
  if (unwrittenFails) return {Verdict::kFailed, NotWritten(f.unwritten)};
  return {Verdict::kFailed, "The plug-in reported failure"};
}

RunWatch::RunWatch(Setup setup) : setup_(std::move(setup)), progress_(setup_.style) {}

void RunWatch::JudgeStatusText(const std::string& line) {
  if (awaitingLine_) {
    failureLine_ = line;
    awaitingLine_ = false;
  }
  lineSinceCode_ = line;
}

// A 200 is explained by the line sent just before it, or, when the sender put its code first,
// by the line right after it.
std::optional<Tone> RunWatch::OnCode(intptr_t code, uint64_t nowMs) {
  if (code == kProgressFailed && !failureCode_) {
    failureCode_ = true;
    if (lineSinceCode_) {
      failureLine_ = *lineSinceCode_;
    } else {
      awaitingLine_ = true;
    }
  }
  lineSinceCode_.reset();
  if (code == kProgressComplete && ClaimsTooMuch()) code = kProgressFailed;
  return Show(code, nowMs);
}

std::optional<Tone> RunWatch::Refuse(const std::string& why, uint64_t nowMs) {
  refusal_ = why.empty() ? "The files were refused" : why;
  return Show(kProgressFailed, nowMs);
}

std::optional<Tone> RunWatch::End(int result, bool cancelled, uint64_t nowMs) {
  ended_ = true;
  result_ = result;
  cancelled_ = cancelled;
  awaitingLine_ = false;
  if (Decide().verdict == Verdict::kSucceeded) return std::nullopt;
  return Show(kProgressFailed, nowMs);
}

// A completion claimed while the facts already say the run failed.
bool RunWatch::ClaimsTooMuch() const {
  RunFacts f = Facts();
  f.ended = true;
  f.result = 1;
  return Judge(f).verdict != Verdict::kSucceeded;
}

std::optional<Tone> RunWatch::Show(intptr_t code, uint64_t nowMs) {
  const Tone before = progress_.GetTone();
  progress_.Apply(code, nowMs);
  const Tone after = progress_.GetTone();
  if (after == before || after == Tone::kNormal) return std::nullopt;
  return after;
}

RunFacts RunWatch::Facts() const {
  RunFacts f;
  f.ended = ended_;
  f.result = result_;
  f.failureCode = failureCode_;
  f.failureLine = failureLine_;
  f.reportsSteps = setup_.reportsSteps;
  f.sawSteps = written_.SawSteps();
  for (const std::string& file : setup_.files) f.givenFiles += file.empty() ? 0u : 1u;
  f.unwritten = written_.Unwritten(setup_.files, setup_.reportsSteps);
  f.allowUnused = setup_.allowUnused;
  f.cancelled = cancelled_;
  f.refusal = refusal_;
  return f;
}

std::string FactoryModelName(const char* name) { return Bounded(name, kModelNameShown); }

std::string FactoryPid(const uint8_t* block) {
  return Bounded(reinterpret_cast<const char*>(block), kPidShown);
}

void RunWatch::OnFactory(platform::WPARAM item, platform::LPARAM value) {
  if (item == kFactoryModelName)
    modelName_ = FactoryModelName(reinterpret_cast<const char*>(value));
  if (item == kFactoryPid) pid_ = FactoryPid(reinterpret_cast<const uint8_t*>(value));
}

RunOutcome RunWatch::Outcome() const {
  const RunFacts facts = Facts();
  const Judgement judgement = Judge(facts);
  reason_ = judgement.reason;
  RunOutcome o;
  o.verdict = judgement.verdict;
  o.result = facts.result;
  o.failureCode = facts.failureCode ? 1 : 0;
  o.unwrittenFiles = static_cast<int32_t>(facts.unwritten.size());
  o.reason = reason_.c_str();
  AddStepRecord(o);
  o.modelName = modelName_.c_str();
  o.pid = pid_.c_str();
  return o;
}

void RunWatch::AddStepRecord(RunOutcome& o) const {
  history_ = steps_.Snapshot();
  outcomeSteps_.clear();
  for (const StepRecord& r : history_.steps) outcomeSteps_.push_back(PlainStep(r));
  outcomeLines_.clear();
  for (const std::string& line : history_.lines) outcomeLines_.push_back(line.c_str());
  o.stepCount = static_cast<uint32_t>(outcomeSteps_.size());
  o.steps = outcomeSteps_.data();
  o.lineCount = static_cast<uint32_t>(outcomeLines_.size());
  o.lines = outcomeLines_.data();
  o.droppedLines = history_.droppedLines;
  o.droppedSteps = history_.droppedSteps;
}

StepHistory HistoryOf(const RunOutcome& o) {
  StepHistory h;
  if (!HasStepRecord(o)) return h;
  const auto* entry = reinterpret_cast<const uint8_t*>(o.steps);
  // Only what the sender's entries hold: the rest keeps its defaults.
  const size_t taken = std::min<size_t>(o.stepSize, sizeof(RunStep));
  for (uint32_t i = 0; i < o.stepCount; ++i, entry += o.stepSize) {
    RunStep s;
    std::memcpy(static_cast<void*>(&s), entry, taken);
    h.steps.push_back(RecordOf(s));
  }
  for (uint32_t i = 0; i < o.lineCount; ++i) h.lines.emplace_back(Text(o.lines[i]));
  h.droppedLines = o.droppedLines;
  h.droppedSteps = o.droppedSteps;
  return h;
}

}  // namespace notify
