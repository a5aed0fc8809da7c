#pragma once

#include "corvane/platform/clock.h"

namespace testing_support {

// Runs the system clock faster for one test, and restores it.
class ScopedTimeScale {
 public:
  explicit ScopedTimeScale(double realPerClock) : previous_(platform::TimeScale()) {
    platform::SetTimeScale(realPerClock);
  }
  ~ScopedTimeScale() { platform::SetTimeScale(previous_); }
  ScopedTimeScale(const ScopedTimeScale&) = delete;
  ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

 private:
  double previous_;
};

}  // namespace testing_support
