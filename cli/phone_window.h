#pragma once

#include <array>
#include <chrono>
#include <mutex>
#include <string>

#include "cli/console.h"
#include "cli/throughput.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_outcome.h"
#include "host/download_view.h"

// The window that one phone's run reports to: the plug-in sends it status lines, progress codes,
// file lines and factory data from the run's thread, while the console's refresher reads its
// progress bar. Texts are copied while a message is handled (the sender reuses its buffer).
namespace cli {

class PhoneWindow : public platform::MessageTarget, public BarSource {
 public:
  PhoneWindow(PhoneLabel label, Console& console, Throughput throughput,
              notify::RunWatch::Setup watch);

  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override;
  BarView Bar() const override;

  const PhoneLabel& Label() const { return label_; }

  // The run starts: elapsed times count from here.
  void Begin();
  // The run ended with the entry point's result: the verdict is the RunWatch's, as in every
  // front end. Closing the window (MessageTarget::Close) cancels the run; a run that had not
  // succeeded by then ends as cancelled.
  PhoneResult End(int exportResult);

  // Milliseconds since Begin.
  uint64_t ElapsedMs() const;
  // Each step of the run and its status lines, for a record of the run; a StepLog may be read
  // while the run still reports.
  const notify::StepLog& Steps() const { return watch_.Steps(); }

  // What the run's record keeps of this window besides its steps and lines: the phone's
  // factory data.
  struct Kept {
    std::string modelName;
    std::string pid;
  };
  Kept KeptForRecord() const;

 private:
  void OnText(const char* text);
  void OnFileLine(const char* text);
  void OnStep(const notify::StepNotice* notice);
  void OnCode(intptr_t code);
  void OnModelName(const char* name);
  void OnPid(const uint8_t* block);

  const PhoneLabel label_;
  Console& console_;
  std::chrono::steady_clock::time_point start_;
  uint64_t pausedAtBegin_ = 0;  // the run's thread's platform::PausedUs() at Begin

  mutable std::mutex lock_;  // guards the state below against the console's refresher
  notify::RunWatch watch_;
  Throughput throughput_;
  std::string lastLine_;
  std::string modelName_;
  std::string pid_;
};

// The phone whose run the calling thread is in, so that message boxes raised inside the plug-in
// can be told apart when several phones run at once.
class CurrentPhone {
 public:
  explicit CurrentPhone(const PhoneLabel& phone);
  ~CurrentPhone();
  CurrentPhone(const CurrentPhone&) = delete;
  CurrentPhone& operator=(const CurrentPhone&) = delete;

  // Null outside a run.
  static const PhoneLabel* Get();

 private:
  const PhoneLabel* previous_;
};

}  // namespace cli
