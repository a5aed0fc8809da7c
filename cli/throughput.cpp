#include "cli/throughput.h"

#include <algorithm>

namespace cli {
namespace {

// Steps that read the partition table or erase move no data; they do not start the clock.
bool MovesData(notify::StepKind kind) {
  return kind != notify::StepKind::kConfiguration && kind != notify::StepKind::kErase;
}

}  // namespace

Throughput::Throughput(uint64_t totalBytes) : total_(totalBytes) {}

void Throughput::OnStep(const notify::StepNotice& notice, uint64_t nowMs) {
  // The clock starts with the first step that moves data, not with the port's set-up.
  if (!endMs_ && !firstStepMs_ && notice.phase == notify::StepPhase::kBegin &&
      MovesData(notice.kind)) {
    firstStepMs_ = nowMs;
  }
  if (notice.phase == notify::StepPhase::kEnd) {
    ackFinished_ += notice.bytesDone;
    ackStep_ = 0;
  } else {
    ackStep_ = notice.bytesDone;
  }
}

void Throughput::OnCode(intptr_t code, uint64_t nowMs) {
  if (endMs_) return;
  if (code == notify::kProgressComplete) {
    frozenDone_ = std::max(total_, Acknowledged());
    endMs_ = nowMs;
  } else if (code == notify::kProgressFailed) {
    frozenDone_ = Acknowledged();
    endMs_ = nowMs;
  }
}

Throughput::Estimate Throughput::At(uint64_t nowMs) const {
  Estimate e;
  e.doneBytes = Done();
  if (!firstStepMs_) return e;
  const uint64_t until = endMs_ ? *endMs_ : nowMs;
  const double seconds = static_cast<double>(until - std::min(until, *firstStepMs_)) / 1000.0;
  if (seconds <= 0 || e.doneBytes == 0) return e;
  e.bytesPerSecond = static_cast<double>(e.doneBytes) / seconds;
  const uint64_t left = total_ > e.doneBytes ? total_ - e.doneBytes : 0;
  e.secondsLeft = endMs_ ? 0.0 : static_cast<double>(left) / e.bytesPerSecond;
  return e;
}

}  // namespace cli
