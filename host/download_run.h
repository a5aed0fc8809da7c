#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/run_outcome.h"
#include "host/download_view.h"
#include "host/log_text.h"
#include "host/message_box_relay.h"
#include "host/records/run_ledger.h"
#include "host/run_request.h"
#include "host/sleep_inhibition.h"
#include "host/worker_end.h"

// What the single-port download window shows; the Qt window implements it, tests record it.
// Every call comes on the GUI thread.
class DownloadWindowView {
 public:
  virtual ~DownloadWindowView() = default;
  virtual void AppendLog(const std::string& line) = 0;
  virtual void ClearLog() = 0;
  virtual void ShowProgress(int position, const std::string& text, notify::Tone tone) = 0;
  virtual void AddFactoryRow(const view::FactoryRow& row) = 0;
  virtual void ShowListText(const std::string& text) = 0;
  virtual void PlaySound(bool success) = 0;
  // Calls Tick every `periodMs` milliseconds from now on; 0 stops it.
  virtual void SetTickTimer(int periodMs) = 0;
};

// The single-port download window's logic: the run of the request it was handed, waiting for
// the page's image read, the plug-in's pre-flight and entry point on a worker thread reporting
// to a mailbox window whose handler runs on the GUI thread, the run's end, and closing.
//
// What the run comes to is the RunWatch's to decide, as for every front end: the worker reports
// the pre-flight's refusal or the entry point's result through the mailbox, and a run that
// failed, left a file unwritten or was refused ends in "Error" with its reason in the log.
class DownloadRun {
 public:
  static constexpr int kWaitTickMs = 1000;
  // How long closing waits for a plug-in that does not stop before it abandons the run.
  static constexpr int kStopWaitMs = 2000;

  DownloadRun(DownloadWindowView& view, RunRequest request);
  // Closes the run and waits for its worker.
  ~DownloadRun();
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  void Start();
  // The view's timer: the blinking wait for the images, the progress ticker.
  void Tick();
  // Cancels the run (every wait of the link ends at once) and joins its worker. The plug-in
  // closes its own port on its own thread. Message boxes then go their usual way again. A
  // plug-in that ignores the cancellation for kStopWaitMs has its run abandoned: the worker
  // runs on, detached, on inputs it shares, and a message names the port it keeps busy.
  void Close();

  platform::MailboxTarget& Mailbox() { return *mailbox_; }
  const LogText& Log() const { return log_; }
  void ClearLog();
  // Whether the worker has been started (the pre-flight, then the entry point).
  bool Launched() const { return launched_; }
  // Whether the worker has been started and its end not yet handled (nor the run closed).
  bool Running() const { return running_; }
  // The run's verdict and reason so far.
  notify::Judgement Verdict() const { return watch_.Decide(); }
  // Each step of the run and its status lines, for a record of the run.
  const notify::StepLog& Steps() const { return watch_.Steps(); }
  // How long the ended run sat in its sequence's own pauses and expected time-outs.
  uint64_t PausedUs() const { return share_ ? share_->pausedUs.load() : 0; }

 private:
  platform::LRESULT Handle(uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam);
  // What the worker uses, shared with it, so that an abandoned worker never outlives its inputs.
  struct Share {
    RunRequest request;
    std::vector<uint8_t*> images;  // fixed before the worker starts, read only by it afterwards
    std::shared_ptr<platform::MailboxTarget> mailbox;
    WorkerEnd end;
    // The worker's time in the sequence's own pauses (platform::PausedUs), set before it reports
    // its end.
    std::atomic<uint64_t> pausedUs{0};
  };
  using EntryPoint = std::function<int(Share&)>;
  // Starts the worker: the pre-flight, then (unless it refuses) `entryPoint`, each reported
  // through the mailbox.
  void Launch(EntryPoint entryPoint);
  static void Work(Share& share, const EntryPoint& entryPoint);
  void LaunchNormal();
  void LaunchRomCopy();
  void OnProgress(platform::LPARAM code);
  void Ended(int result);
  // Once the page's read has ended: the list of files and the run, or "Error" with why the
  // files cannot be used. A window that `waited` for the read says it is complete.
  void ReadingEnded(bool waited);
  // Nothing runs: each line of `why` in the log, the bar red.
  void Refuse(const std::string& why);
  void Show(const std::optional<notify::Tone>& verdictTone);
  void AddLine(const std::string& line);
  void ShowProgress();
  // The run's record: its end as the verdict decided it (the first end counts).
  void Record(const notify::Judgement& judgement, int result);
  uint64_t Elapsed() const;

  DownloadWindowView& view_;
  const RunRequest request_;
  notify::RunWatch watch_;
  records::RunLedger ledger_;
  // Shared with the message-box hook, which another thread may still hold a copy of after Close.
  std::shared_ptr<platform::MailboxTarget> mailbox_;
  // From Start to Close, message boxes of other threads reach the GUI thread through the mailbox.
  std::unique_ptr<MessageBoxRelay> relay_;
  LogText log_;
  uint64_t startMs_ = 0;
  bool waiting_ = false;
  bool blinkShown_ = false;
  bool launched_ = false;
  bool running_ = false;
  // The system stays awake from the launch until the run's end is handled.
  std::optional<sleep_inhibition::Hold> awake_;
  std::shared_ptr<Share> share_;
  std::thread worker_;
};
