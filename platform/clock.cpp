#include "corvane/platform/clock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include "corvane/platform/cancellation.h"

namespace platform {
namespace {

using Steady = std::chrono::steady_clock;

// The clock is rebased on every scale change so that it never runs backwards.
struct ClockState {
  std::mutex lock;
  Steady::time_point realBase = Steady::now();
  double clockBaseMs = 0.0;
  double scale = 1.0;

  double NowMs() {
    const std::chrono::duration<double, std::milli> real = Steady::now() - realBase;
    return clockBaseMs + real.count() / scale;
  }
};

ClockState& State() {
  static ClockState state;
  return state;
}

thread_local uint64_t pausedUs = 0;

// Counts the real time from `start` to now as a pause of this thread.
void CountSince(Steady::time_point start) {
  CountPause(static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start).count()));
}

}  // namespace

uint64_t TickCount() {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return static_cast<uint64_t>(s.NowMs());
}

double TimeScale() {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.scale;
}

void SetTimeScale(double realPerClock) {
  if (!(realPerClock > 0.0)) return;
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.clockBaseMs = s.NowMs();
  s.realBase = Steady::now();
  s.scale = realPerClock;
}

int RealMs(uint32_t ms) {
  if (ms == 0) return 0;
  const double real = std::ceil(ms * TimeScale());
  return real < 1.0 ? 1 : static_cast<int>(real);
}

uint64_t PausedUs() { return pausedUs; }
void CountPause(uint64_t realUs) { pausedUs += realUs; }

void SleepMs(uint32_t ms) {
  if (ms == 0) return;
  const std::chrono::duration<double, std::milli> real(ms * TimeScale());
  const Steady::time_point start = Steady::now();
  std::this_thread::sleep_for(real);
  CountSince(start);
}

bool SleepMs(uint32_t ms, const Cancellation* cancellation) {
  if (cancellation == nullptr) {
    SleepMs(ms);
    return false;
  }
  const Steady::time_point start = Steady::now();
  const bool cancelled = cancellation->WaitRealMs(RealMs(ms));
  CountSince(start);
  return cancelled;
}

std::string ElapsedText(uint64_t elapsedMs) {
  float seconds = static_cast<float>(elapsedMs) * 0.001f;
  const int minutes = static_cast<int>(seconds * 0.016666668f);
  if (seconds > 60.0f) seconds -= 60.0f * static_cast<float>(minutes);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%04.1f Sec", minutes, static_cast<double>(seconds));
  return text;
}

}  // namespace platform
