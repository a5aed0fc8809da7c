#pragma once

#include <cstdint>
#include <string>

// What a download window shows, as logic without a window toolkit: the time-stamped log line,
// the progress bar's state as the plug-in's codes drive it, and the factory-data rows. The Qt
// window and tarvex-cli both draw from these.
namespace view {

// "%02d:%04.1f Sec  :" of the time since the run started, computed as the host's log always
// has (single precision, minutes taken off only above 60 seconds).
std::string ElapsedPrefix(uint64_t elapsedMs);

// The progress bar. Codes: 0..100 (and anything else not listed) set the position; 200 "Error";
// 300 disconnecting, shown full; 400 "Download complete!"; 500 adds 5 and starts a ticker that
// adds 5 every 2000 ms; 600 stops the ticker. Time is passed in, so the state needs no timer:
// the ticker's steps are counted when the state is read.
class ProgressState {
 public:
  enum class Tone { kNormal, kError, kComplete };  // the colour of the unfilled part

  static constexpr int kTickerStep = 5;
  static constexpr uint64_t kTickerPeriodMs = 2000;

  void Apply(intptr_t code, uint64_t nowMs);

  int Position(uint64_t nowMs) const;
  std::string Text(uint64_t nowMs) const;
  Tone GetTone() const { return tone_; }
  bool TickerRunning() const { return ticking_; }

 private:
  uint64_t Ticks(uint64_t atMs) const;
  void Catch(uint64_t nowMs);

  int position_ = 0;
  std::string text_;
  Tone tone_ = Tone::kNormal;
  bool ticking_ = false;
  uint64_t tickerStartMs_ = 0;
  uint64_t syncedMs_ = 0;  // the ticker steps up to here are in position_
};

// "Processing completed %d%%".
std::string ProcessingText(int position);

// One row of the factory-data list.
struct FactoryRow {
  std::string item;
  std::string value;
};

// "MODEL NAME": the name as the phone sent it, at most 15 characters.
FactoryRow ModelNameRow(const char* name);
// "PID": the first 17 bytes of the 64-byte block taken as characters, ending at a zero byte.
FactoryRow PidRow(const uint8_t* block);

}  // namespace view
