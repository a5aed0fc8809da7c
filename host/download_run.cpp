#include "host/download_run.h"

#include <chrono>
#include <sstream>

#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_routing.h"

namespace {

constexpr const char* kWaitText = "Wait for reading files";
constexpr const char* kBlankText = "   ";
constexpr int kTickerTickMs = static_cast<int>(notify::ProgressState::kTickerPeriodMs);

notify::RunWatch::Setup WatchSetup(const RunRequest& request) {
  notify::RunWatch::Setup setup;
  setup.files = request.Files();
  setup.reportsSteps = request.plugin != nullptr && request.plugin->Exports().reportsSteps;
  return setup;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

DownloadRun::DownloadRun(DownloadWindowView& view, RunRequest request)
    : view_(view),
      request_(std::move(request)),
      watch_(WatchSetup(request_)),
      ledger_(request_.recorder.get(), request_.record),
      mailbox_(std::make_shared<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })) {
  mailbox_->SetRouting(notify::RunRouting(
      watch_, [this] { return Elapsed(); }, false));
}

DownloadRun::~DownloadRun() { Close(); }

uint64_t DownloadRun::Elapsed() const { return platform::TickCount() - startMs_; }

void DownloadRun::Start() {
  startMs_ = platform::TickCount();
  relay_ = std::make_unique<MessageBoxRelay>(mailbox_);
  const bool romCopy = request_.mode == RunRequest::Mode::kRomCopy;
  // A normal run lists its files once they are read (ReadingEnded).
  if (romCopy) view_.ShowListText(request_.ListText());
  if (const std::string why = request_.Refusal(); !why.empty()) return Refuse(why);
  const Export entry = romCopy ? Export::kDoFactoryDownload : Export::kDoDownload;
  if (const std::string lacks = request_.plugin->Lacking({entry}); !lacks.empty()) {
    return Refuse(lacks);
  }
  if (romCopy) return LaunchRomCopy();
  if (request_.images && request_.images->ReadingEnded()) return ReadingEnded(false);
  // The page's reader is still filling the store.
  waiting_ = true;
  view_.ShowProgress(0, kWaitText, notify::Tone::kNormal);
  blinkShown_ = true;
  view_.SetTickTimer(kWaitTickMs);
}

// A file the store could not read is never handed to the plug-in as a null image.
void DownloadRun::ReadingEnded(bool waited) {
  waiting_ = false;
  view_.SetTickTimer(0);
  const CImageStore& store = *request_.images;
  std::string why;
  for (const CImageStore::SlotReport& r : store.Problems()) {
    why += (why.empty() ? "" : "\n") + DescribeProblem(r);
  }
  if (store.ReadingComplete() == 0 && why.empty()) why = "The files could not be read";
  if (!why.empty()) return Refuse(why);
  view_.ShowListText(request_.ListText());
  if (waited) view_.ShowProgress(0, "File Reading complete!", notify::Tone::kNormal);
  LaunchNormal();
}

void DownloadRun::LaunchNormal() {
  Launch([fn = request_.plugin->Exports().doDownload](Share& s) {
    return fn(s.mailbox.get(), s.request.port, s.images.data(), static_cast<int>(s.images.size()),
              &s.request.paths, kRunTimeoutMs, s.request.erase);
  });
}

void DownloadRun::LaunchRomCopy() {
  Launch([fn = request_.plugin->Exports().doFactoryDownload](Share& s) {
    return fn(s.mailbox.get(), s.request.port, &s.request.cpPath, &s.request.apPath, kRunTimeoutMs,
              s.request.erase);
  });
}

// The pre-flight reads every file (modem images included), so it runs on the worker: the
// window stays responsive meanwhile.
void DownloadRun::Launch(EntryPoint entryPoint) {
  launched_ = true;
  running_ = true;
  awake_.emplace();
  share_ = std::make_shared<Share>();
  share_->request = request_;
  if (request_.mode != RunRequest::Mode::kRomCopy) share_->images = request_.Images();
  share_->mailbox = mailbox_;
  records::Phone phone = records::PhoneOf(request_.portEntry);
  if (request_.portEntry.devicePath.empty()) phone.port = "COM" + std::to_string(request_.port);
  ledger_.HashImages(share_->images);
  ledger_.Begin(phone);
  worker_ = std::thread([share = share_, entryPoint = std::move(entryPoint)] {
    Work(*share, entryPoint);
    share->end.Ended();
  });
}

void DownloadRun::Work(Share& share, const EntryPoint& entryPoint) {
  const RunRequest& request = share.request;
  const FileCheck check =
      request.plugin->CheckFiles(request.CheckMode(), request.Files(), request.erase);
  if (check.verdict == FileCheck::Verdict::kRefused ||
      check.verdict == FileCheck::Verdict::kUnusedFiles) {
    platform::SendWindowMessage(share.mailbox.get(), notify::kMsgRunRefused, 0,
                                reinterpret_cast<platform::LPARAM>(check.message.c_str()));
    return;
  }
  const uint64_t pausedBefore = platform::PausedUs();
  const int result = entryPoint(share);
  share.pausedUs = platform::PausedUs() - pausedBefore;
  // A closed window answers 0 at once: nobody is left to tell.
  platform::SendWindowMessage(share.mailbox.get(), notify::kMsgRunEnded,
                              static_cast<platform::WPARAM>(result), 0);
}

// The plug-in's own verdict is not the last word: a failure it reported, a file it was given
// and never wrote, or a result of 0 ends the run in "Error". A reason its own lines do not give
// is added to the log.
void DownloadRun::Ended(int result) {
  running_ = false;
  awake_.reset();
  const std::optional<notify::Tone> tone = watch_.End(result, false, Elapsed());
  const notify::Judgement verdict = watch_.Decide();
  if (verdict.verdict != notify::Verdict::kSucceeded && !watch_.Facts().failureCode) {
    AddLine(view::ElapsedPrefix(Elapsed()) + verdict.reason);
  }
  Record(verdict, result);
  Show(tone);
}

void DownloadRun::Record(const notify::Judgement& judgement, int result) {
  const notify::StepHistory steps = watch_.Steps().Snapshot();
  ledger_.End(judgement, result, watch_.Facts().unwritten, steps.lines, steps);
}

void DownloadRun::Refuse(const std::string& why) {
  running_ = false;
  awake_.reset();
  for (const std::string& line : LinesOf(why)) AddLine(line);
  const std::optional<notify::Tone> tone = watch_.Refuse(why, Elapsed());
  Record(watch_.Decide(), 0);
  Show(tone);
}

// The bar, and the sound of a verdict the bar has just reached.
void DownloadRun::Show(const std::optional<notify::Tone>& verdictTone) {
  ShowProgress();
  if (verdictTone) view_.PlaySound(*verdictTone == notify::Tone::kComplete);
}

void DownloadRun::Tick() {
  if (waiting_) {
    if (request_.images->ReadingEnded()) return ReadingEnded(true);
    blinkShown_ = !blinkShown_;
    view_.ShowProgress(0, blinkShown_ ? kWaitText : kBlankText, notify::Tone::kNormal);
    return;
  }
  ShowProgress();
  if (!watch_.Progress().TickerRunning()) view_.SetTickTimer(0);
}

void DownloadRun::Close() {
  waiting_ = false;
  mailbox_->CloseMailbox();
  bool abandoned = false;
  if (worker_.joinable()) {
    abandoned = !share_->end.WaitOrAbandon(std::chrono::milliseconds(kStopWaitMs));
    if (abandoned) {
      worker_.detach();
    } else {
      worker_.join();
    }
  }
  running_ = false;
  awake_.reset();
  relay_.reset();
  // Closed before its end: the run was cancelled (an abandoned worker's later end is not heard).
  if (ledger_.Begun()) Record({notify::Verdict::kCancelled, "Cancelled"}, 0);
  if (abandoned) {
    platform::ShowMessageBox("The plug-in did not stop within 2 s; COM" +
                             std::to_string(request_.port) + " stays busy until it ends");
  }
}

void DownloadRun::ClearLog() {
  log_.Clear();
  view_.ClearLog();
}

void DownloadRun::AddLine(const std::string& line) {
  if (log_.Append(line)) view_.ClearLog();
  view_.AppendLog(log_.Lines().back());
}

void DownloadRun::ShowProgress() {
  const uint64_t now = Elapsed();
  const notify::ProgressState& bar = watch_.Progress();
  view_.ShowProgress(bar.Position(now), bar.Text(now), bar.GetTone());
}

platform::LRESULT DownloadRun::Handle(uint32_t message, platform::WPARAM wParam,
                                      platform::LPARAM lParam) {
  if (message == notify::kMsgNotify && wParam == notify::kStatusText && lParam != 0) {
    const char* text = reinterpret_cast<const char*>(lParam);
    watch_.OnStatusText(text);
    AddLine(view::ElapsedPrefix(Elapsed()) + text);
  } else if (message == notify::kMsgLoggedStatusText && lParam != 0) {
    const char* text = reinterpret_cast<const char*>(lParam);
    watch_.JudgeStatusText(text);
    AddLine(view::ElapsedPrefix(static_cast<uint64_t>(wParam)) + text);
  } else if (message == notify::kMsgNotify && wParam == notify::kProgress) {
    OnProgress(lParam);
  } else if (message == notify::kMsgNotify && wParam == notify::kStepNotice) {
    if (const notify::StepNotice* notice = notify::StepNoticeOf(lParam)) {
      watch_.OnStep(*notice, Elapsed());
    }
    return 0;  // only counted: the log and the bar say enough
  } else if (message == notify::kMsgRunEnded) {
    Ended(static_cast<int>(wParam));
  } else if (message == notify::kMsgRunRefused) {
    Refuse(reinterpret_cast<const char*>(lParam));
  } else if (message == MessageBoxRelay::kMessage && relay_) {
    relay_->Handle(lParam);
  } else if (message == notify::kMsgFactory && wParam == notify::kFactoryModelName) {
    const view::FactoryRow row = view::ModelNameRow(reinterpret_cast<const char*>(lParam));
    ledger_.SetFactory(row.value, "");
    view_.AddFactoryRow(row);
  } else if (message == notify::kMsgFactory && wParam == notify::kFactoryPid) {
    const view::FactoryRow row = view::PidRow(reinterpret_cast<const uint8_t*>(lParam));
    ledger_.SetFactory("", row.value);
    view_.AddFactoryRow(row);
  } else {
    return 0;  // file lines: the log and the bar say enough
  }
  return 1;
}

void DownloadRun::OnProgress(platform::LPARAM code) {
  const bool wasTicking = watch_.Progress().TickerRunning();
  const std::optional<notify::Tone> tone = watch_.OnCode(code, Elapsed());
  Show(tone);
  const bool ticking = watch_.Progress().TickerRunning();
  if (ticking != wasTicking || (ticking && code == notify::kProgressTickerStart)) {
    view_.SetTickTimer(ticking ? kTickerTickMs : 0);
  }
}
