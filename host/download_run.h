#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/written_files.h"
#include "host/download_arguments.h"
#include "host/download_view.h"
#include "host/log_text.h"
#include "host/message_box_relay.h"
#include "host/normal_page.h"
#include "host/rom_copy_page.h"
#include "host/sleep_inhibition.h"

// What the single-port download window shows; the Qt window implements it, tests record it.
// Every call comes on the GUI thread.
class DownloadWindowView {
 public:
  virtual ~DownloadWindowView() = default;
  virtual void AppendLog(const std::string& line) = 0;
  virtual void ClearLog() = 0;
  virtual void ShowProgress(int position, const std::string& text,
                            view::ProgressState::Tone tone) = 0;
  virtual void AddFactoryRow(const view::FactoryRow& row) = 0;
  virtual void ShowListText(const std::string& text) = 0;
  virtual void PlaySound(bool success) = 0;
  // Calls Tick every `periodMs` milliseconds from now on; 0 stops it.
  virtual void SetTickTimer(int periodMs) = 0;
};

// The single-port download window's logic: which entry point the page that started it
// (g_nCurPage) binds, waiting for the page's image read, the run on a worker thread reporting to
// a mailbox window whose handler runs on the GUI thread, the run's end, and closing.
//
// The run ends truthfully: when the entry point returns the worker says so through the mailbox
// with its result, and a run that left one of its files unwritten or whose entry point failed
// without saying so ends in "Error", whatever the bar showed before.
class DownloadRun {
 public:
  static constexpr int kWaitTickMs = 1000;
  static constexpr uint32_t kTimeout = 10000;

  DownloadRun(DownloadWindowView& view, NormalPage& normal, const RomCopyPage& romCopy);
  // Closes the run and waits for its worker.
  ~DownloadRun();
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  void Start();
  // The view's timer: the blinking wait for the images, the progress ticker.
  void Tick();
  // Cancels the run (every wait of the link ends at once) and joins its worker. The plug-in
  // closes its own port on its own thread. Message boxes then go their usual way again.
  void Close();

  platform::MailboxTarget& Mailbox() { return *mailbox_; }
  const LogText& Log() const { return log_; }
  void ClearLog();
  // Whether the entry point has been called (on the worker), whether or not it has returned.
  bool Launched() const { return launched_; }
  // Whether the entry point has been called and its end not yet handled (nor the run closed).
  bool Running() const { return running_; }

 private:
  platform::LRESULT Handle(uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam);
  void StartNormal();
  void StartFactory();
  // Starts the worker that calls the entry point and reports its result through the mailbox;
  // `files` are those the run must write (the factory files in the steps' order of their paths).
  void Launch(std::vector<std::string> files, std::function<int()> entryPoint);
  void OnProgress(platform::LPARAM code);
  void Ended(int result);
  // Once the page's read has ended: the run, or "Error" with why the files cannot be used.
  void ReadingEnded();
  void Fail(const std::vector<std::string>& why);
  void AddLine(const std::string& line);
  void ShowProgress();
  uint64_t Elapsed() const;

  DownloadWindowView& view_;
  NormalPage& normal_;
  const RomCopyPage& romCopy_;
  // Shared with the message-box hook, which another thread may still hold a copy of after Close.
  std::shared_ptr<platform::MailboxTarget> mailbox_;
  // From Start to Close, message boxes of other threads reach the GUI thread through the mailbox.
  std::unique_ptr<MessageBoxRelay> relay_;
  LogText log_;
  view::ProgressState progress_;
  uint64_t startMs_ = 0;
  bool waiting_ = false;
  bool blinkShown_ = false;
  bool launched_ = false;
  bool running_ = false;
  bool failureReported_ = false;  // the plug-in sent 200 at some point
  // The run's files, and which of them its steps wrote.
  std::vector<std::string> files_;
  notify::WrittenFiles written_;
  // The system stays awake from the launch until the run's end is handled.
  std::optional<sleep_inhibition::Hold> awake_;
  DoDownloadFn doDownload_ = nullptr;
  // What the worker hands the plug-in: fixed before it starts, read only by it afterwards.
  DownloadArguments arguments_;
  std::string cpPath_, apPath_;
  std::thread worker_;
};
