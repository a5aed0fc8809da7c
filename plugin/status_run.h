#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/run_outcome.h"

class CModelModule;

// What a status window shows; the plug-in's Qt window implements it, tests record it. Every
// call comes on the GUI thread.
class StatusView {
 public:
  virtual ~StatusView() = default;
  // "Port : ", "File :" and "Current Status".
  virtual void ShowFields(const std::string& port, const std::string& file,
                          const std::string& status) = 0;
  virtual void ShowBar(int position, const std::string& text, notify::Tone tone) = 0;
  virtual void ShowElapsed(const std::string& text) = 0;
  virtual void EnableClose(bool enabled) = 0;
  // Calls StatusRun::OnTimer(id) every `periodMs` from now on; 0 stops that timer.
  virtual void SetTimer(int id, int periodMs) = 0;
};

// What the host hands a status window: its report window, the port, the option word and the
// mode's files.
struct StatusInputs {
  platform::WindowHandle host = nullptr;
  int port = 0;
  uint32_t options = 0;
  bool factory = false;
  std::vector<uint8_t*> images;    // normal mode: the host's images, which outlive the run
  std::vector<std::string> paths;  // normal mode: their paths, in the same order
  std::string first, second;       // factory mode: the two paths (either may be empty)
};

// One port's run inside a host window: its own model module and worker thread, reporting to a
// mailbox whose handler runs on the GUI thread, and telling the host its outcome and result
// (1012, 1011) when it has ended. The outcome is the one every front end decides alike
// (notify::RunWatch): a failure once reported stays a failure, and a given file that no step
// wrote fails the run.
class StatusRun {
 public:
  static constexpr int kElapsedTimer = 49;
  static constexpr int kElapsedPeriodMs = 500;
  static constexpr int kTickerTimer = 48;
  static constexpr int kTickerPeriodMs = 2000;

  StatusRun(StatusView& view, StatusInputs inputs);
  // Stops the run and waits for its worker.
  ~StatusRun();
  StatusRun(const StatusRun&) = delete;
  StatusRun& operator=(const StatusRun&) = delete;

  // Shows the fields and starts the worker; without a parent window (`haveParent` false) only
  // says "We can't find program!" and starts nothing.
  void Start(bool haveParent);
  void OnTimer(int id);
  // Cancels the run (every wait of its link ends at once and further reports are dropped) and
  // waits for the worker, which closes its own port. A host window that the worker may still be
  // sending to must be closed first, or be this thread's own.
  void Stop();

  platform::MailboxTarget& Mailbox() { return *mailbox_; }
  // The worker has sent its result and ended its part.
  bool Ended() const { return ended_; }
  const std::string& StatusLine() const { return status_; }
  const std::string& FileLine() const { return file_; }
  // Each step of the run and its status lines, for a record of the run.
  const notify::StepLog& Steps() const { return watch_.Steps(); }

 private:
  platform::LRESULT Handle(uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam);
  void OnProgress(intptr_t code);
  void ShowBar();
  void Refresh();
  int RunSequence(CModelModule& module);
  // Once the sequence has returned: its outcome, kept for the host.
  void SequenceEnded(int result, bool cancelled);
  // A failure that the plug-in's own lines do not explain is named in the status line.
  void ShowReason();
  std::string Refused() const;
  void Refuse(const std::string& why);
  // The host learns the outcome, then the result.
  void TellHost();

  StatusView& view_;
  const StatusInputs inputs_;
  std::unique_ptr<platform::MailboxTarget> mailbox_;
  std::string portText_, file_, status_;
  uint64_t startMs_ = 0;
  notify::RunWatch watch_;
  // The bar's clock: it moves only by the ticker timer's events, one period each, so every
  // event is one step of the ticker however early or late it fires.
  uint64_t barClockMs_ = 0;
  notify::RunOutcome outcome_;  // written before the worker hands it to the host
  std::atomic<bool> ended_{false};
  std::unique_ptr<CModelModule> module_;
  std::thread worker_;
};
