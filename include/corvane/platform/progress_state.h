#pragma once

#include <cstdint>
#include <string>

#include "corvane/platform/export.h"

namespace notify {

// The colour of a run's bar: its unfilled part while it runs, red or green with its verdict.
enum class Tone { kNormal, kError, kComplete };

// A run's progress bar as the plug-in's codes drive it. Codes: 0..100 (and anything else not
// listed) set the position; 200 "Error"; 300 disconnecting, shown full; 400 "Download
// complete!"; 500 adds 5 and starts a ticker that adds 5 every 2000 ms; 600 stops the ticker.
// Time is passed in, so the state needs no timer: the ticker's steps are counted when the state
// is read. A failure once shown stays: no later code moves or recolours a red bar.
class CORVANE_API ProgressState {
 public:
  // How a position set by a code (or by 500) is worded; the ticker's own steps always read
  // "Processing completed %d%%".
  enum class Style {
    kProcessing,  // "Processing completed %d%%": the download window, tarvex-cli
    kPercent,     // "%d%%": the plug-in's status windows
  };

  static constexpr int kTickerStep = 5;
  static constexpr uint64_t kTickerPeriodMs = 2000;

  explicit ProgressState(Style style = Style::kProcessing) : style_(style) {}

  void Apply(intptr_t code, uint64_t nowMs);

  int Position(uint64_t nowMs) const;
  std::string Text(uint64_t nowMs) const;
  Tone GetTone() const { return tone_; }
  bool TickerRunning() const { return ticking_; }

 private:
  uint64_t Ticks(uint64_t atMs) const;
  void Catch(uint64_t nowMs);
  std::string PositionText(int position) const;

  Style style_;
  int position_ = 0;
  std::string text_;
  Tone tone_ = Tone::kNormal;
  bool ticking_ = false;
  uint64_t tickerStartMs_ = 0;
  uint64_t syncedMs_ = 0;  // the ticker steps up to here are in position_
};

// "Processing completed %d%%".
CORVANE_API std::string ProcessingText(int position);

}  // namespace notify
