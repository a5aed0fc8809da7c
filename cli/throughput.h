#pragma once

#include <cstdint>
#include <optional>

#include "corvane/platform/notify.h"

// An estimate of how many bytes a run has written, for the progress bar's MB/s and time left.
//
// The plug-in's step notices say what each step moves and how much of it the phone has
// acknowledged. A plug-in that sends none gets no estimate: its percentages are per step, and a
// step's size cannot be told from them.
namespace cli {

class Throughput {
 public:
  // `totalBytes`: what the whole run is expected to move (the sum of its files).
  explicit Throughput(uint64_t totalBytes);

  void OnStep(const notify::StepNotice& notice, uint64_t nowMs);
  // The verdicts 400 and 200 stop the clock; 400 counts everything as written.
  void OnCode(intptr_t code, uint64_t nowMs);

  struct Estimate {
    uint64_t doneBytes = 0;
    double bytesPerSecond = 0;          // 0 while nothing is known
    std::optional<double> secondsLeft;  // unknown until a rate is
  };
  Estimate At(uint64_t nowMs) const;

  // What the phone acknowledged in all steps so far, whatever the verdict: a run's true count.
  uint64_t Acknowledged() const { return ackFinished_ + ackStep_; }

 private:
  // The bar's count: what was acknowledged, frozen by the verdict (400 counts the whole run).
  uint64_t Done() const { return frozenDone_ ? *frozenDone_ : Acknowledged(); }

  uint64_t total_;
  uint64_t ackFinished_ = 0;  // acknowledged bytes of the steps that ended
  uint64_t ackStep_ = 0;      // acknowledged bytes of the open step
  std::optional<uint64_t> frozenDone_;
  std::optional<uint64_t> firstStepMs_;
  std::optional<uint64_t> endMs_;  // the run's end froze the estimate here
};

}  // namespace cli
