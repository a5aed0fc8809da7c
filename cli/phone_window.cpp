#include "cli/phone_window.h"

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"

namespace cli {
namespace {

constexpr size_t kPidBlock = 64;

thread_local const PhoneLabel* t_currentPhone = nullptr;

const char* TextOf(platform::LPARAM lParam) {
  const auto* text = reinterpret_cast<const char*>(lParam);
  return text == nullptr ? "" : text;
}

}  // namespace

PhoneWindow::PhoneWindow(PhoneLabel label, Console& console, Throughput throughput,
                         notify::RunWatch::Setup watch)
    : label_(std::move(label)),
      console_(console),
      start_(std::chrono::steady_clock::now()),
      watch_(std::move(watch)),
      throughput_(throughput) {}

void PhoneWindow::Begin() {
  std::lock_guard<std::mutex> guard(lock_);
  start_ = std::chrono::steady_clock::now();
  pausedAtBegin_ = platform::PausedUs();  // Begin and End run on the run's own thread
}

uint64_t PhoneWindow::ElapsedMs() const {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start_)
                                   .count());
}

platform::LRESULT PhoneWindow::HandleMessage(uint32_t message, platform::WPARAM wParam,
                                             platform::LPARAM lParam) {
  if (message == notify::kMsgNotify) {
    if (wParam == notify::kStatusText) OnText(TextOf(lParam));
    if (wParam == notify::kProgress) OnCode(lParam);
    if (wParam == notify::kFileLine) OnFileLine(TextOf(lParam));
    if (wParam == notify::kStepNotice) OnStep(notify::StepNoticeOf(lParam));
  } else if (message == notify::kMsgFactory) {
    if (wParam == notify::kFactoryModelName) OnModelName(TextOf(lParam));
    if (wParam == notify::kFactoryPid) OnPid(reinterpret_cast<const uint8_t*>(lParam));
  }
  return 0;
}

void PhoneWindow::OnText(const char* text) {
  const std::string line = text;  // the plug-in's buffer is valid only during this call
  uint64_t elapsed = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    elapsed = ElapsedMs();
    lastLine_ = line;
    watch_.OnStatusText(line);
  }
  console_.Status(label_, elapsed, line);
}

void PhoneWindow::OnStep(const notify::StepNotice* notice) {
  if (notice == nullptr) return;
  uint64_t elapsed = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    elapsed = ElapsedMs();
    throughput_.OnStep(*notice, elapsed);
    watch_.OnStep(*notice, elapsed);
  }
  console_.Step(label_, elapsed, *notice);
}

void PhoneWindow::OnFileLine(const char* text) {
  console_.FileLine(label_, ElapsedMs(), std::string(text));
}

void PhoneWindow::OnCode(intptr_t code) {
  int position = 0;
  std::string text;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = ElapsedMs();
    watch_.OnCode(code, now);
    throughput_.OnCode(code, now);
    position = watch_.Progress().Position(now);
    text = watch_.Progress().Text(now);
  }
  console_.Progress(label_, code, position, text);
}

void PhoneWindow::OnModelName(const char* name) {
  const view::FactoryRow row = view::ModelNameRow(name);
  {
    std::lock_guard<std::mutex> guard(lock_);
    modelName_ = row.value;
  }
  console_.Factory(label_, row);
}

void PhoneWindow::OnPid(const uint8_t* block) {
  if (block == nullptr) return;
  std::array<uint8_t, kPidBlock> copy{};
  std::copy(block, block + kPidBlock, copy.begin());
  const view::FactoryRow row = view::PidRow(copy.data());
  {
    std::lock_guard<std::mutex> guard(lock_);
    pid_ = row.value;
  }
  console_.Factory(label_, row);
}

PhoneWindow::Kept PhoneWindow::KeptForRecord() const {
  std::lock_guard<std::mutex> guard(lock_);
  return {modelName_, pid_};
}

BarView PhoneWindow::Bar() const {
  std::lock_guard<std::mutex> guard(lock_);
  const uint64_t now = ElapsedMs();
  BarView bar;
  bar.label = label_;
  bar.position = watch_.Progress().Position(now);
  bar.text = watch_.Progress().Text(now);
  bar.tone = watch_.Progress().GetTone();
  bar.estimate = throughput_.At(now);
  return bar;
}

PhoneResult PhoneWindow::End(int exportResult) {
  std::lock_guard<std::mutex> guard(lock_);
  const uint64_t now = ElapsedMs();
  watch_.End(exportResult, IsClosed(), now);
  const notify::RunFacts facts = watch_.Facts();
  const notify::Judgement judgement = notify::Judge(facts);
  PhoneResult r;
  r.label = label_;
  r.verdict = judgement.verdict;
  r.reason = judgement.reason;
  r.ok = judgement.verdict == notify::Verdict::kSucceeded;
  r.cancelled = judgement.verdict == notify::Verdict::kCancelled;
  r.exportResult = exportResult;
  r.reportedError = facts.failureCode;
  r.stepsReported = facts.sawSteps;
  r.reportsSteps = facts.reportsSteps;
  r.unwrittenFiles = facts.unwritten;
  r.lastLine = lastLine_;
  // Only what the phone acknowledged counts: a plug-in without step notices tells no byte count
  // anyone can vouch for, so none is shown.
  r.bytesKnown = facts.sawSteps;
  r.bytes = facts.sawSteps ? throughput_.Acknowledged() : 0;
  r.seconds = static_cast<double>(now) / 1000.0;
  r.pausedSeconds = static_cast<double>(platform::PausedUs() - pausedAtBegin_) / 1e6;
  return r;
}

CurrentPhone::CurrentPhone(const PhoneLabel& phone) : previous_(t_currentPhone) {
  t_currentPhone = &phone;
}

CurrentPhone::~CurrentPhone() { t_currentPhone = previous_; }

const PhoneLabel* CurrentPhone::Get() { return t_currentPhone; }

}  // namespace cli
