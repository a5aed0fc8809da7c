#include "plugin/status_run.h"

#include <cstdio>

#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_routing.h"
#include "plugin/exports.h"
#include "plugin/model_module.h"

namespace {

// From the worker to its own window: the sequence has returned (wParam: its result; the answer
// is the result after the window's rules), and the worker's last send (it ends right after).
constexpr uint32_t kMsgSequenceEnded = notify::kWmUser + 110;
constexpr uint32_t kMsgWorkerEnded = notify::kWmUser + 111;
constexpr int kTickerStep = 5;

std::string Percent(int position) {
  char text[24];
  std::snprintf(text, sizeof text, "%d%%", position);
  return text;
}

bool EndsInFls(const std::string& path) {
  return path.size() >= 3 && path.compare(path.size() - 3, 3, "fls") == 0;
}

}  // namespace

StatusRun::StatusRun(StatusView& view, StatusInputs inputs)
    : view_(view),
      inputs_(std::move(inputs)),
      mailbox_(std::make_unique<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })),
      portText_(std::to_string(inputs_.port & 0xFF)) {
  mailbox_->SetRouting(notify::RunRouting(written_, true));
  if (inputs_.factory) {
    if (EndsInFls(inputs_.first)) file_ = inputs_.first;
    if (EndsInFls(inputs_.second)) file_ = inputs_.second;
  }
}

StatusRun::~StatusRun() { Stop(); }

void StatusRun::Start(bool haveParent) {
  Refresh();
  ShowBar();
  view_.EnableClose(false);
  startMs_ = platform::TickCount();
  view_.ShowElapsed(platform::ElapsedText(0));
  module_ = std::make_unique<CModelModule>();
  if (!haveParent) return platform::ShowMessageBox("We can't find program!");
  const std::string why = Refused();
  if (!why.empty()) return Refuse(why);
  view_.SetTimer(kElapsedTimer, kElapsedPeriodMs);
  worker_ = std::thread([this] {
    const int result = RunSequence(*module_);
    if (result != 1) module_->Link()->Close();
    const auto final =
        platform::SendMessage(mailbox_.get(), kMsgSequenceEnded, result == 1 ? 1 : 0, 0);
    platform::SendMessage(inputs_.host, notify::kMsgStatusWindowResult, final == 1 ? 1 : 0,
                          inputs_.port);
    platform::SendMessage(mailbox_.get(), kMsgWorkerEnded, 0, 0);
  });
}

// A normal run holds at most kMaxStatusImages images: a file dropped from the set would go
// unwritten. (A null image is a partition that the sequence reads from its file.)
std::string StatusRun::Refused() const {
  if (inputs_.factory || inputs_.images.size() <= static_cast<size_t>(kMaxStatusImages)) return "";
  return "Too many files: " + std::to_string(inputs_.images.size()) + " (at most " +
         std::to_string(kMaxStatusImages) + ")";
}

// Nothing runs; the host learns the failure as from a run.
void StatusRun::Refuse(const std::string& why) {
  status_ = why;
  Refresh();
  OnProgress(notify::kProgressFailed);
  ended_ = true;
  view_.EnableClose(true);
  platform::SendMessage(inputs_.host, notify::kMsgStatusWindowResult, 0, inputs_.port);
}

int StatusRun::RunSequence(CModelModule& module) {
  const auto port = static_cast<uint8_t>(inputs_.port & 0xFF);
  if (inputs_.factory) {
    return module.FactoryDownload(mailbox_.get(), port, inputs_.first, inputs_.second, kTimeout,
                                  inputs_.options);
  }
  return module.StartDownload(mailbox_.get(), port, inputs_.images.data(),
                              static_cast<int>(inputs_.images.size()), inputs_.paths, kTimeout,
                              inputs_.options);
}

void StatusRun::Stop() {
  mailbox_->CloseMailbox();
  if (worker_.joinable()) worker_.join();
}

// A file the run was given that no step wrote turns success into failure: a ticked file left
// out must never end in "Download complete!". Success stops the elapsed time; failure leaves it
// running, as the phone's panel keeps counting until it is closed.
int StatusRun::SequenceEnded(int result) {
  const std::vector<std::string> files =
      inputs_.factory ? std::vector<std::string>{inputs_.first, inputs_.second} : inputs_.paths;
  const std::vector<std::string> unwritten = written_.Unwritten(files);
  if (!unwritten.empty()) {
    std::string line = "Not written:";
    for (const std::string& f : unwritten) line += " " + f;
    status_ = line;
    Refresh();
    result = 0;
  }
  if (result != 1 && !failedShown_) OnProgress(notify::kProgressFailed);
  if (result == 1) {
    view_.SetTimer(kElapsedTimer, 0);
    OnTimer(kElapsedTimer);
  }
  return result;
}

platform::LRESULT StatusRun::Handle(uint32_t message, platform::WPARAM wParam,
                                    platform::LPARAM lParam) {
  if (message == kMsgSequenceEnded) return SequenceEnded(static_cast<int>(wParam));
  if (message == kMsgWorkerEnded) {
    ended_ = true;
    view_.EnableClose(true);
    return 1;
  }
  if (message != notify::kMsgNotify) return 0;
  if (wParam == notify::kStepNotice) {
    if (const notify::StepNotice* n = notify::StepNoticeOf(lParam)) written_.OnStep(*n);
  } else if (wParam == notify::kProgress) {
    OnProgress(lParam);
  } else if ((wParam == notify::kStatusText || wParam == notify::kFileLine) && lParam != 0) {
    (wParam == notify::kStatusText ? status_ : file_) = reinterpret_cast<const char*>(lParam);
    Refresh();
  }
  return 1;
}

void StatusRun::OnProgress(intptr_t code) {
  switch (code) {
    case notify::kProgressFailed:
    case notify::kProgressComplete: {
      // A finished run's bar keeps its verdict: the ticker stops with it.
      const bool failed = code == notify::kProgressFailed;
      failedShown_ = failedShown_ || failed;
      position_ = 0;
      tone_ = failed ? StatusView::Tone::kError : StatusView::Tone::kComplete;
      barText_ = failed ? "Error" : "Download complete!";
      ticking_ = false;
      view_.SetTimer(kTickerTimer, 0);
      break;
    }
    case notify::kProgressDisconnecting:
      position_ = 100;
      barText_ = "Tarvex is disconnecting to target";
      break;
    case notify::kProgressTickerStart:
      position_ += kTickerStep;
      barText_ = Percent(position_);
      ticking_ = true;
      view_.SetTimer(kTickerTimer, kTickerPeriodMs);
      break;
    case notify::kProgressTickerStop:
      ticking_ = false;
      view_.SetTimer(kTickerTimer, 0);
      break;
    default:
      position_ = static_cast<int>(code);
      barText_ = Percent(position_);
      break;
  }
  ShowBar();
}

void StatusRun::OnTimer(int id) {
  view_.ShowElapsed(platform::ElapsedText(platform::TickCount() - startMs_));
  if (id != kTickerTimer || !ticking_) return;
  position_ += kTickerStep;
  char text[48];
  std::snprintf(text, sizeof text, "Processing completed %d%%", position_);
  barText_ = text;
  ShowBar();
}

void StatusRun::ShowBar() { view_.ShowBar(position_, barText_, tone_); }

void StatusRun::Refresh() { view_.ShowFields(portText_, file_, status_); }
