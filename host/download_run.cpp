#include "host/download_run.h"

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_routing.h"

namespace {

constexpr const char* kWaitText = "Wait for reading files";
constexpr const char* kBlankText = "   ";
constexpr int kTickerTickMs = static_cast<int>(view::ProgressState::kTickerPeriodMs);
// The worker's last word: the entry point has returned; wParam: its result.
constexpr uint32_t kMsgRunEnded = notify::kWmUser + 101;

}  // namespace

DownloadRun::DownloadRun(DownloadWindowView& view, NormalPage& normal, const RomCopyPage& romCopy)
    : view_(view),
      normal_(normal),
      romCopy_(romCopy),
      mailbox_(std::make_shared<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })) {
  mailbox_->SetRouting(notify::RunRouting(written_, false));
}

DownloadRun::~DownloadRun() { Close(); }

uint64_t DownloadRun::Elapsed() const { return platform::TickCount() - startMs_; }

void DownloadRun::Start() {
  startMs_ = platform::TickCount();
  relay_ = std::make_unique<MessageBoxRelay>(mailbox_);
  if (g_nCurPage == 2) return StartFactory();
  StartNormal();
}

void DownloadRun::StartNormal() {
  const ModelPlugin* plugin = normal_.Plugin();
  doDownload_ = plugin != nullptr ? plugin->Find<DoDownloadFn>("DoDownload") : nullptr;
  if (doDownload_ == nullptr) return Fail({"The model plug-in lacks its DoDownload export"});
  // The page's reader may still be filling the store: the list needs only the file table.
  const CImageStore noImages;
  view_.ShowListText(NormalDownloadArguments(normal_.Files(), noImages).listText);
  if (normal_.Store().ReadingEnded()) return ReadingEnded();
  waiting_ = true;
  view_.ShowProgress(0, kWaitText, view::ProgressState::Tone::kNormal);
  blinkShown_ = true;
  view_.SetTickTimer(kWaitTickMs);
}

// A file the store could not read is never handed to the plug-in as a null image.
void DownloadRun::ReadingEnded() {
  waiting_ = false;
  view_.SetTickTimer(0);
  const CImageStore& store = normal_.Store();
  std::vector<std::string> why;
  for (const CImageStore::SlotReport& r : store.Problems()) why.push_back(DescribeProblem(r));
  if (store.ReadingComplete() == 0 && why.empty()) why.push_back("The files could not be read");
  if (!why.empty()) return Fail(why);
  view_.ShowProgress(0, "File Reading complete!", view::ProgressState::Tone::kNormal);
  arguments_ = NormalDownloadArguments(normal_.Files(), store);
  const int port = normal_.ComPort();
  const uint32_t erase = normal_.EraseOption();
  Launch(arguments_.paths, [this, fn = doDownload_, port, erase] {
    return fn(mailbox_.get(), port, arguments_.images.data(), arguments_.Count(), &arguments_.paths,
              kTimeout, erase);
  });
}

void DownloadRun::StartFactory() {
  cpPath_ = romCopy_.CpPath();
  apPath_ = romCopy_.ApPath();
  view_.ShowListText(FactoryListText(cpPath_, apPath_));
  const ModelPlugin* plugin = normal_.Plugin();
  const auto fn =
      plugin != nullptr ? plugin->Find<DoFactoryDownloadFn>("DoFactoryDownload") : nullptr;
  if (fn == nullptr) return Fail({"The model plug-in lacks its DoFactoryDownload export"});
  const std::string nothing = NoRomImageReason(cpPath_, apPath_);
  if (!nothing.empty()) return Fail({nothing});
  const int port = romCopy_.ComPort();
  const uint32_t erase = romCopy_.EraseOption();
  Launch({cpPath_, apPath_}, [this, fn, port, erase] {
    return fn(mailbox_.get(), port, &cpPath_, &apPath_, kTimeout, erase);
  });
}

void DownloadRun::Launch(std::vector<std::string> files, std::function<int()> entryPoint) {
  files_ = std::move(files);
  launched_ = true;
  running_ = true;
  awake_.emplace();
  worker_ = std::thread([this, entryPoint = std::move(entryPoint)] {
    const int result = entryPoint();
    // A closed window answers 0 at once: nobody is left to tell.
    platform::SendMessage(mailbox_.get(), kMsgRunEnded, static_cast<platform::WPARAM>(result), 0);
  });
}

// The plug-in's own verdict is not the last word: a file it was given and never wrote, or a
// result of 0, turns the end into a failure (once: a bar already red with "Error" stays).
void DownloadRun::Ended(int result) {
  running_ = false;
  awake_.reset();
  const std::string prefix = view::ElapsedPrefix(Elapsed());
  std::vector<std::string> why;
  for (const std::string& path : written_.Unwritten(files_)) {
    why.push_back(prefix + "Not written: " + path);
  }
  if (result == 0 && !failureReported_) {
    why.push_back(prefix + "The plug-in reported failure");
  }
  for (const std::string& line : why) AddLine(line);
  const bool failed = !why.empty() || result == 0;
  if (failed && progress_.GetTone() != view::ProgressState::Tone::kError) {
    OnProgress(notify::kProgressFailed);
  }
}

void DownloadRun::Fail(const std::vector<std::string>& why) {
  for (const std::string& line : why) AddLine(line);
  progress_.Apply(notify::kProgressFailed, Elapsed());
  ShowProgress();
  view_.PlaySound(false);
}

void DownloadRun::Tick() {
  if (waiting_) {
    if (normal_.Store().ReadingEnded()) return ReadingEnded();
    blinkShown_ = !blinkShown_;
    view_.ShowProgress(0, blinkShown_ ? kWaitText : kBlankText, view::ProgressState::Tone::kNormal);
    return;
  }
  ShowProgress();
  if (!progress_.TickerRunning()) view_.SetTickTimer(0);
}

void DownloadRun::Close() {
  waiting_ = false;
  mailbox_->CloseMailbox();
  if (worker_.joinable()) worker_.join();
  running_ = false;
  awake_.reset();
  relay_.reset();
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
  view_.ShowProgress(progress_.Position(now), progress_.Text(now), progress_.GetTone());
}

platform::LRESULT DownloadRun::Handle(uint32_t message, platform::WPARAM wParam,
                                      platform::LPARAM lParam) {
  if (message == notify::kMsgNotify && wParam == notify::kStatusText && lParam != 0) {
    AddLine(view::ElapsedPrefix(Elapsed()) + reinterpret_cast<const char*>(lParam));
  } else if (message == notify::kMsgNotify && wParam == notify::kProgress) {
    OnProgress(lParam);
  } else if (message == notify::kMsgNotify && wParam == notify::kStepNotice) {
    if (const notify::StepNotice* notice = notify::StepNoticeOf(lParam)) written_.OnStep(*notice);
    return 0;  // only counted: the log and the bar say enough
  } else if (message == kMsgRunEnded) {
    Ended(static_cast<int>(wParam));
  } else if (message == MessageBoxRelay::kMessage && relay_) {
    relay_->Handle(lParam);
  } else if (message == notify::kMsgFactory && wParam == notify::kFactoryModelName) {
    view_.AddFactoryRow(view::ModelNameRow(reinterpret_cast<const char*>(lParam)));
  } else if (message == notify::kMsgFactory && wParam == notify::kFactoryPid) {
    view_.AddFactoryRow(view::PidRow(reinterpret_cast<const uint8_t*>(lParam)));
  } else {
    return 0;  // file lines: the log and the bar say enough
  }
  return 1;
}

void DownloadRun::OnProgress(platform::LPARAM code) {
  const bool wasTicking = progress_.TickerRunning();
  progress_.Apply(code, Elapsed());
  failureReported_ = failureReported_ || code == notify::kProgressFailed;
  ShowProgress();
  if (code == notify::kProgressFailed) view_.PlaySound(false);
  if (code == notify::kProgressComplete) view_.PlaySound(true);
  if (progress_.TickerRunning() != wasTicking || code == notify::kProgressTickerStart) {
    view_.SetTickTimer(progress_.TickerRunning() ? kTickerTickMs : 0);
  }
}
