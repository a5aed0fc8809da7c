#include "corvane/platform/reporter.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "corvane/platform/clock.h"

void Reporter::Text(const char* text) {
  if (window_ == nullptr) return;
  last_ = text != nullptr ? text : "";
  platform::SendWindowMessage(window_, notify::kMsgNotify, notify::kStatusText,
                              reinterpret_cast<platform::LPARAM>(last_.c_str()));
}

void Reporter::TextF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TextV(format, args);
  va_end(args);
}

void Reporter::TextV(const char* format, va_list args) {
  if (window_ == nullptr) return;
  char text[kMaxFormatted];
  std::vsnprintf(text, sizeof text, format, args);
  Text(text);
}

void Reporter::Code(platform::LPARAM code) {
  platform::SendWindowMessage(window_, notify::kMsgNotify, notify::kProgress, code);
}

void Reporter::FileLine(const char* text) {
  platform::SendWindowMessage(window_, notify::kMsgNotify, notify::kFileLine,
                              reinterpret_cast<platform::LPARAM>(text));
}

void Reporter::BeginStep(notify::StepKind kind, int32_t fileIndex, uint64_t bytesPlanned,
                         const std::string& name) {
  if (stepOpen_) EndStep(false);
  step_ = notify::StepNotice{};
  step_.kind = kind;
  step_.fileIndex = fileIndex;
  step_.bytesPlanned = bytesPlanned;
  stepName_ = name;
  stepDigest_.clear();
  digestBytes_ = 0;
  digestPartial_ = false;
  stepOpen_ = true;
  lastSentDone_ = 0;
  pausedAtBegin_ = platform::PausedUs();
  SendStep(notify::StepPhase::kBegin);
}

void Reporter::AddToPlan(uint64_t bytes) {
  if (stepOpen_) step_.bytesPlanned += bytes;
}

void Reporter::StepAdvance(uint64_t bytes) {
  if (!stepOpen_ || bytes == 0) return;
  step_.bytesDone += bytes;
  const uint64_t grain = step_.bytesPlanned / 1000;
  const bool last = step_.bytesDone >= step_.bytesPlanned;
  if (last || step_.bytesDone - lastSentDone_ > grain) {
    lastSentDone_ = step_.bytesDone;
    SendStep(notify::StepPhase::kAdvance);
  }
}

void Reporter::SetStepDigest(const std::string& sha256, uint64_t bytes, bool partial) {
  if (!stepOpen_) return;
  stepDigest_ = sha256;
  digestBytes_ = bytes;
  digestPartial_ = partial;
}

void Reporter::EndStep(bool succeeded) {
  if (!stepOpen_) return;
  step_.succeeded = succeeded ? 1 : 0;
  stepOpen_ = false;
  SendStep(notify::StepPhase::kEnd);
}

void Reporter::SendStep(notify::StepPhase phase) {
  step_.phase = phase;
  step_.name = stepName_.c_str();
  // Only the end carries the digest: until then it covers less than the step will read.
  const bool end = phase == notify::StepPhase::kEnd;
  step_.sha256 = end ? stepDigest_.c_str() : "";
  step_.bytesHashed = end ? digestBytes_ : 0;
  step_.hashPartial = end && digestPartial_ ? 1 : 0;
  step_.pausedUs = end ? platform::PausedUs() - pausedAtBegin_ : 0;
  platform::SendWindowMessage(window_, notify::kMsgNotify, notify::kStepNotice,
                              reinterpret_cast<platform::LPARAM>(&step_));
}

namespace platform {
namespace {
std::atomic<bool> digestsWanted{true};
}  // namespace

void SetStepDigestsWanted(bool wanted) { digestsWanted = wanted; }
bool StepDigestsWanted() { return digestsWanted; }

}  // namespace platform
