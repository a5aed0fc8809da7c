#include "corvane/platform/step_log.h"

namespace notify {

StepLog::StepLog(size_t headLines, size_t tailLines)
    : headLines_(headLines), tailLines_(tailLines) {}

StepRecord* StepLog::OpenStep(const StepNotice& n, uint64_t nowMs) {
  if (!steps_.empty() && n.phase != StepPhase::kBegin) {
    StepRecord& last = steps_.back();
    if (!last.ended && last.kind == n.kind && last.fileIndex == n.fileIndex) return &last;
  }
  if (steps_.size() >= kMaxSteps) {
    ++droppedSteps_;
    return nullptr;
  }
  StepRecord& r = steps_.emplace_back();
  r.kind = n.kind;
  r.fileIndex = n.fileIndex;
  r.name = n.name != nullptr ? n.name : "";
  r.beginMs = nowMs;
  r.endMs = nowMs;
  return &r;
}

void StepLog::OnStep(const StepNotice& n, uint64_t nowMs) {
  const std::lock_guard<std::mutex> guard(lock_);
  StepRecord* r = OpenStep(n, nowMs);
  if (r == nullptr) return;
  r->bytesPlanned = n.bytesPlanned;
  r->bytesDone = n.bytesDone;
  if (n.phase != StepPhase::kEnd) return;
  r->ended = true;
  r->endMs = nowMs;
  r->succeeded = n.succeeded != 0;
  if (HasPauses(n)) r->pausedUs = n.pausedUs;
  if (!HasDigest(n)) return;  // an older plug-in's notice: no digest to read
  r->sha256 = n.sha256 != nullptr ? n.sha256 : "";
  r->bytesHashed = n.bytesHashed;
  r->partial = n.hashPartial != 0;
}

void StepLog::OnStatusText(const std::string& line) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (head_.size() < headLines_) return head_.push_back(line);
  tail_.push_back(line);
  if (tail_.size() > tailLines_) {
    tail_.pop_front();
    ++droppedLines_;
  }
}

StepHistory StepLog::Snapshot() const {
  const std::lock_guard<std::mutex> guard(lock_);
  StepHistory h;
  h.steps = steps_;
  h.droppedSteps = droppedSteps_;
  h.droppedLines = droppedLines_;
  h.lines = head_;
  if (droppedLines_ > 0) {
    h.lines.push_back("\u2026 " + std::to_string(droppedLines_) + " lines dropped here \u2026");
  }
  h.lines.insert(h.lines.end(), tail_.begin(), tail_.end());
  return h;
}

}  // namespace notify
