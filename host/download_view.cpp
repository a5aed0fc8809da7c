#include "host/download_view.h"

#include <cstdio>

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"

namespace view {
namespace {

constexpr size_t kModelNameLength = 15;
constexpr size_t kPidShown = 17;

// The text up to its first zero byte, at most `limit` characters of it.
std::string Bounded(const char* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return std::string(text, n);
}

}  // namespace

std::string ElapsedPrefix(uint64_t elapsedMs) { return platform::ElapsedText(elapsedMs) + "  :"; }

std::string ProcessingText(int position) {
  char text[48];
  std::snprintf(text, sizeof text, "Processing completed %d%%", position);
  return text;
}

uint64_t ProgressState::Ticks(uint64_t atMs) const {
  if (!ticking_ || atMs < tickerStartMs_) return 0;
  return (atMs - tickerStartMs_) / kTickerPeriodMs;
}

int ProgressState::Position(uint64_t nowMs) const {
  const uint64_t steps = Ticks(nowMs) - Ticks(syncedMs_);
  return position_ + static_cast<int>(steps) * kTickerStep;
}

std::string ProgressState::Text(uint64_t nowMs) const {
  return Ticks(nowMs) > Ticks(syncedMs_) ? ProcessingText(Position(nowMs)) : text_;
}

// Folds the ticker's steps so far into the stored position and text.
void ProgressState::Catch(uint64_t nowMs) {
  if (nowMs < syncedMs_) nowMs = syncedMs_;
  if (Ticks(nowMs) > Ticks(syncedMs_)) {
    position_ = Position(nowMs);
    text_ = ProcessingText(position_);
  }
  syncedMs_ = nowMs;
}

void ProgressState::Apply(intptr_t code, uint64_t nowMs) {
  Catch(nowMs);
  switch (code) {
    case notify::kProgressFailed:
      // A finished run's bar keeps its verdict: the ticker stops with it.
      ticking_ = false;
      position_ = 0;
      tone_ = Tone::kError;
      text_ = "Error";
      break;
    case notify::kProgressDisconnecting:
      position_ = 100;
      text_ = "Tarvex is disconnecting to target";
      break;
    case notify::kProgressComplete:
      ticking_ = false;
      position_ = 0;
      tone_ = Tone::kComplete;
      text_ = "Download complete!";
      break;
    case notify::kProgressTickerStart:
      position_ += kTickerStep;
      text_ = ProcessingText(position_);
      ticking_ = true;  // (re)started: its first step comes a whole period from now
      tickerStartMs_ = nowMs;
      syncedMs_ = nowMs;
      break;
    case notify::kProgressTickerStop:
      ticking_ = false;
      break;
    default:
      position_ = static_cast<int>(code);
      text_ = ProcessingText(position_);
      break;
  }
}

FactoryRow ModelNameRow(const char* name) {
  if (name == nullptr) return {"MODEL NAME", ""};
  return {"MODEL NAME", Bounded(name, kModelNameLength)};
}

FactoryRow PidRow(const uint8_t* block) {
  if (block == nullptr) return {"PID", ""};
  const char* text = reinterpret_cast<const char*>(block);
  return {"PID", Bounded(text, kPidShown)};
}

}  // namespace view
