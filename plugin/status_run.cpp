#include "plugin/status_run.h"

#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_routing.h"
#include "corvane/plugin/exports.h"
#include "plugin/kind_table.h"
#include "plugin/model_module.h"

namespace {

notify::RunWatch::Setup WatchSetup(const StatusInputs& in) {
  notify::RunWatch::Setup setup;
  setup.files = in.factory ? std::vector<std::string>{in.first, in.second} : in.paths;
  setup.reportsSteps = true;  // every sequence of this plug-in reports its steps
  setup.style = notify::ProgressState::Style::kPercent;
  return setup;
}

// The "File :" field of a ROM-copy window: the modem's factory file (the second when both are).
std::string ModemFileOf(const StatusInputs& in) {
  std::string file;
  for (const std::string* path : {&in.first, &in.second}) {
    if (kinds::RomImageOf(*path) == kinds::RomImage::kModem) file = *path;
  }
  return file;
}

}  // namespace

StatusRun::StatusRun(StatusView& view, StatusInputs inputs)
    : view_(view),
      inputs_(std::move(inputs)),
      mailbox_(std::make_unique<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })),
      portText_(std::to_string(inputs_.port & 0xFF)),
      watch_(WatchSetup(inputs_)) {
  // Steps are timed on the run's clock from the start; the worker starts after startMs_ is set.
  mailbox_->SetRouting(notify::RunRouting(
      watch_, [this] { return platform::TickCount() - startMs_; }, true));
  if (inputs_.factory) file_ = ModemFileOf(inputs_);
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
    // A closed window answers 0 without its handler: the thread that closed it waits for this
    // one and looks at nothing meanwhile, so the outcome is decided here.
    if (platform::SendWindowMessage(mailbox_.get(), notify::kMsgSequenceEnded, result == 1, 0) ==
        0) {
      SequenceEnded(result, true);
    }
    TellHost();
    platform::SendWindowMessage(mailbox_.get(), notify::kMsgWorkerEnded, 0, 0);
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
  watch_.Refuse(why, barClockMs_);
  outcome_ = watch_.Outcome();
  ShowReason();
  ShowBar();
  ended_ = true;
  view_.EnableClose(true);
  TellHost();
}

void StatusRun::TellHost() {
  platform::SendWindowMessage(inputs_.host, notify::kMsgStatusWindowOutcome,
                              static_cast<platform::WPARAM>(inputs_.port),
                              reinterpret_cast<platform::LPARAM>(&outcome_));
  const bool passed = outcome_.verdict == notify::Verdict::kSucceeded;
  platform::SendWindowMessage(inputs_.host, notify::kMsgStatusWindowResult, passed ? 1 : 0,
                              inputs_.port);
}

int StatusRun::RunSequence(CModelModule& module) {
  const auto port = static_cast<uint8_t>(inputs_.port & 0xFF);
  if (inputs_.factory) {
    return module.FactoryDownload(mailbox_.get(), port, inputs_.first, inputs_.second,
                                  kRunTimeoutMs, inputs_.options);
  }
  return module.StartDownload(mailbox_.get(), port, inputs_.images.data(),
                              static_cast<int>(inputs_.images.size()), inputs_.paths, kRunTimeoutMs,
                              inputs_.options);
}

void StatusRun::Stop() {
  mailbox_->CloseMailbox();
  if (worker_.joinable()) worker_.join();
}

// Success stops the elapsed time; failure leaves it running, as the phone's panel keeps counting
// until it is closed.
void StatusRun::SequenceEnded(int result, bool cancelled) {
  const std::optional<notify::Tone> tone = watch_.End(result == 1 ? 1 : 0, cancelled, barClockMs_);
  outcome_ = watch_.Outcome();
  if (cancelled) return;  // nothing is shown any more
  if (tone) ShowBar();
  ShowReason();
  if (outcome_.verdict == notify::Verdict::kSucceeded) {
    view_.SetTimer(kElapsedTimer, 0);
    OnTimer(kElapsedTimer);
  }
}

void StatusRun::ShowReason() {
  const notify::RunFacts facts = watch_.Facts();
  if (outcome_.verdict == notify::Verdict::kSucceeded || facts.failureCode) return;
  status_ = outcome_.reason;
  Refresh();
}

platform::LRESULT StatusRun::Handle(uint32_t message, platform::WPARAM wParam,
                                    platform::LPARAM lParam) {
  if (message == notify::kMsgSequenceEnded) {
    SequenceEnded(static_cast<int>(wParam), false);
    return 1;
  }
  if (message == notify::kMsgWorkerEnded) {
    ended_ = true;
    view_.EnableClose(true);
    return 1;
  }
  if (message == notify::kMsgFactory) {
    watch_.OnFactory(wParam, lParam);  // for the host's record of the run, in the outcome
    return 1;
  }
  if (message == notify::kMsgLoggedStatusText && lParam != 0) {
    const char* text = reinterpret_cast<const char*>(lParam);
    watch_.JudgeStatusText(text);
    status_ = text;
    Refresh();
    return 1;
  }
  if (message != notify::kMsgNotify) return 0;
  if (wParam == notify::kStepNotice) {
    if (const notify::StepNotice* n = notify::StepNoticeOf(lParam)) {
      watch_.OnStep(*n, platform::TickCount() - startMs_);
    }
  } else if (wParam == notify::kProgress) {
    OnProgress(lParam);
  } else if ((wParam == notify::kStatusText || wParam == notify::kFileLine) && lParam != 0) {
    const char* text = reinterpret_cast<const char*>(lParam);
    if (wParam == notify::kStatusText) watch_.OnStatusText(text);
    (wParam == notify::kStatusText ? status_ : file_) = text;
    Refresh();
  }
  return 1;
}

void StatusRun::OnProgress(intptr_t code) {
  const bool wasTicking = watch_.Progress().TickerRunning();
  watch_.OnCode(code, barClockMs_);
  const bool ticking = watch_.Progress().TickerRunning();
  // (Re)started by every 500: its first step comes a whole period from now.
  if (ticking != wasTicking || (ticking && code == notify::kProgressTickerStart)) {
    view_.SetTimer(kTickerTimer, ticking ? kTickerPeriodMs : 0);
  }
  ShowBar();
}

void StatusRun::OnTimer(int id) {
  view_.ShowElapsed(platform::ElapsedText(platform::TickCount() - startMs_));
  if (id != kTickerTimer || !watch_.Progress().TickerRunning()) return;
  barClockMs_ += kTickerPeriodMs;
  ShowBar();
}

void StatusRun::ShowBar() {
  const notify::ProgressState& bar = watch_.Progress();
  view_.ShowBar(bar.Position(barClockMs_), bar.Text(barClockMs_), bar.GetTone());
}

void StatusRun::Refresh() { view_.ShowFields(portText_, file_, status_); }
