#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "corvane/platform/export.h"

namespace platform {
class Cancellation;
}

// The one millisecond clock and sleep of the whole system.
//
// Every time-out and fixed pause of the protocols is measured on this clock. Tests may run it
// faster than real time (SetTimeScale(0.01) makes a 2000 ms wait take 20 ms of real time) so that
// the long waits of the download sequences do not make the suite slow; production never does.
namespace platform {

// Milliseconds since the first use of the clock, on the (possibly scaled) clock.
CORVANE_API uint64_t TickCount();

// Sleeps `ms` milliseconds of the clock.
CORVANE_API void SleepMs(uint32_t ms);
// The same pause, ended early once `cancellation` is cancelled (null: never); true when it was,
// so that a sequence stops instead of going on to its next exchange.
CORVANE_API bool SleepMs(uint32_t ms, const Cancellation* cancellation);

// Real microseconds the calling thread has spent in the waits its sequence makes on purpose: the
// pauses of SleepMs and the time-outs a sequence expects to sit through (CountPause). A run's
// sequence runs on one thread, so what this grows by across a step is that step's own pauses;
// whatever else a phone waits for is the host's overhead.
CORVANE_API uint64_t PausedUs();
// Adds a wait the sequence makes on purpose by other means than SleepMs (a silence it waits out).
CORVANE_API void CountPause(uint64_t realUs);

// Real milliseconds that `ms` clock milliseconds take; at least 1 for a nonzero `ms`, so that a
// short wait on a device still yields to it.
CORVANE_API int RealMs(uint32_t ms);

// "%02d:%04.1f Sec" of a run's elapsed time, as the windows have always shown it: single
// precision, minutes taken off only above 60 seconds (75300 ms: "01:15.3 Sec").
CORVANE_API std::string ElapsedText(uint64_t elapsedMs);

// The calendar time of `secondsSinceEpoch` in the machine's time zone; false when it has none.
// Safe to call from any thread.
CORVANE_API bool LocalTime(std::time_t secondsSinceEpoch, std::tm& local);

// Real time per clock time: 1.0 in production, below 1 to run faster in tests.
CORVANE_API void SetTimeScale(double realPerClock);
CORVANE_API double TimeScale();

}  // namespace platform
