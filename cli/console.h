#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/throughput.h"
#include "corvane/platform/run_outcome.h"
#include "host/download_view.h"

// Everything tarvex-cli shows, from every phone's thread: the plug-in's status lines with the
// host's elapsed-time prefix, progress, factory rows, message boxes, results and the summary.
// As plain lines, as JSON lines (--json), or, on a terminal, with one progress bar per phone
// kept below the scrolling lines and redrawn a few times a second.
namespace cli {

struct PhoneLabel {
  uint8_t number = 0;       // in the port table
  std::string name;         // the system's name: ttyACM0, pts3
  std::string path;         // /dev/ttyACM0
  std::string description;  // the driver's description
  std::string usbIds;       // "1d6b:0106"; "" when not a USB device
  std::string usbPath;      // the USB socket's bus-port chain ("1-1.4.2"); "" when unknown
  std::string usbSerial;    // the device's USB serial number; "" when it reports none
};

// A phone's progress bar at one moment.
struct BarView {
  PhoneLabel label;
  int position = 0;
  std::string text;
  notify::Tone tone = notify::Tone::kNormal;
  Throughput::Estimate estimate;
};

class BarSource {
 public:
  virtual ~BarSource() = default;
  virtual BarView Bar() const = 0;
};

struct PhoneResult {
  PhoneLabel label;
  bool ok = false;
  notify::Verdict verdict = notify::Verdict::kRunning;
  std::string reason;          // why it did not succeed, in the words every front end uses
  int exportResult = 0;        // what the plug-in's entry point returned
  bool reportedError = false;  // the plug-in sent the failure code (200)
  std::string lastLine;        // its last status line
  uint64_t bytes = 0;          // what the phone acknowledged (received, for an upload)
  bool bytesKnown = false;     // the plug-in reported steps: `bytes` can be vouched for
  double seconds = 0;
  double pausedSeconds = 0;    // spent in the sequence's own pauses and expected time-outs
  bool stepsReported = false;  // the plug-in sent step notices
  bool reportsSteps = false;   // it promised to (ReportsSteps)
  std::vector<std::string> unwrittenFiles;  // the user's files that no step wrote
  bool cancelled = false;  // the run was cancelled (Ctrl-C) before it could succeed
};

class Console {
 public:
  struct Mode {
    bool json = false;
    bool terminal = false;  // draw progress bars (plain text only)
    bool multi = false;     // lines carry the phone's port name
  };

  Console(std::ostream& out, std::ostream& err, Mode mode);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  const Mode& GetMode() const { return mode_; }

  // The program's own lines. In plain mode every line the console prints, these and the
  // plug-in's alike, is made printable in one place (Printable): control characters in what it
  // quotes are shown escaped. JSON lines carry the text as it is, in JSON's own escapes.
  void Note(const std::string& text);
  void Error(const std::string& text);
  // Something the user should know that does not stop the run, on the error stream only.
  void Warning(const std::string& text);
  // Advice after an error, on the error stream only ("Try ... --help").
  void Hint(const std::string& text);
  // A JSON object of the program's own (JSON mode only).
  void JsonLine(const std::string& object);
  // A line of data as it is (CSV: its own quoting keeps line breaks and commas in their field).
  void DataLine(const std::string& text);

  // What the plug-in sends, per phone.
  void Status(const PhoneLabel& phone, uint64_t elapsedMs, const std::string& text);
  void FileLine(const PhoneLabel& phone, uint64_t elapsedMs, const std::string& text);
  // A step's begin and end (JSON only: lines and bars already show its progress).
  void Step(const PhoneLabel& phone, uint64_t elapsedMs, const notify::StepNotice& step);
  void Progress(const PhoneLabel& phone, intptr_t code, int position, const std::string& text);
  void Factory(const PhoneLabel& phone, const view::FactoryRow& row);
  // A message box of the plug-in or library; `phone` is null when no phone's run raised it.
  void MessageBox(const PhoneLabel* phone, const std::string& text, const std::string& caption);

  void PhoneStarted(const PhoneLabel& phone);
  void Result(const PhoneResult& result);
  // `cpuSeconds`: this process's CPU time; `simulated`: it includes simulated phones.
  void Summary(const std::vector<PhoneResult>& results, double cpuSeconds, bool simulated = false);
  void Verification(const PhoneLabel& phone, bool ok, const std::vector<std::string>& lines,
                    const std::string& verdict);

  // Bars shown on a terminal while their phones run.
  void AttachBar(const BarSource* source);
  void DetachBar(const BarSource* source);

  // Redraws the bars now (a terminal only); the console also does it by itself.
  void Refresh();

 private:
  void Line(const std::string& text);       // one scrolling line, bars kept below it
  void ErrorLine(const std::string& text);  // one line on the error stream
  void Json(const std::string& object);
  std::string Prefix(const PhoneLabel& phone) const;
  void EraseBarsLocked();
  void DrawBarsLocked();
  void RefreshLoop();

  std::ostream& out_;
  std::ostream& err_;
  Mode mode_;
  std::mutex lock_;  // one line at a time; guards everything below
  std::vector<const BarSource*> bars_;
  size_t drawnBars_ = 0;
  bool stopping_ = false;
  std::condition_variable wake_;
  std::thread refresher_;
};

// "12.3 MB" style byte counts and "0:07" style durations, for lines and bars.
std::string Megabytes(uint64_t bytes);
std::string Duration(double seconds);
// One bar line: name, bar, percent, MB/s, time left, the bar's text.
std::string RenderBar(const BarView& bar, bool colour);

}  // namespace cli
