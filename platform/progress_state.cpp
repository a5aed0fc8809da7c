#include "corvane/platform/progress_state.h"

#include <cstdio>

#include "corvane/platform/notify.h"

namespace notify {

std::string ProcessingText(int position) {
  char text[48];
  std::snprintf(text, sizeof text, "Processing completed %d%%", position);
  return text;
}

std::string ProgressState::PositionText(int position) const {
  if (style_ == Style::kProcessing) return ProcessingText(position);
  char text[24];
  std::snprintf(text, sizeof text, "%d%%", position);
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
  if (tone_ == Tone::kError) return;
  Catch(nowMs);
  switch (code) {
    case kProgressFailed:
      // A finished run's bar keeps its verdict: the ticker stops with it.
      ticking_ = false;
      position_ = 0;
      tone_ = Tone::kError;
      text_ = "Error";
      break;
    case kProgressDisconnecting:
      position_ = 100;
      text_ = "Tarvex is disconnecting to target";
      break;
    case kProgressComplete:
      ticking_ = false;
      position_ = 0;
      tone_ = Tone::kComplete;
      text_ = "Download complete!";
      break;
    case kProgressTickerStart:
      position_ += kTickerStep;
      text_ = PositionText(position_);
      ticking_ = true;  // (re)started: its first step comes a whole period from now
      tickerStartMs_ = nowMs;
      syncedMs_ = nowMs;
      break;
    case kProgressTickerStop:
      ticking_ = false;
      break;
    default:
      position_ = static_cast<int>(code);
      text_ = PositionText(position_);
      break;
  }
}

}  // namespace notify
