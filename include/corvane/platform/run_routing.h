#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_outcome.h"

namespace notify {

// How a run's window takes its worker's messages without a thread hand-over for each block:
// step notices go into the run's `watch` on the worker's own thread, at the time `clock` (the
// run's clock, callable from the worker) tells, file lines are answered there when the window
// does not show them, progress codes (values only) are posted, and so are status lines: each goes
// into the run's record at once and is posted as a copy stamped with the run's clock
// (kMsgLoggedStatusText), so a window closed before it shows a line still records it. Everything
// else (factory data, message boxes, the run's end) still waits for the GUI thread, which has by
// then taken everything posted before it.
//
// A position equal to the one just posted, with only step notices between them and no ticker
// running, changes nothing the window shows or decides, so it is not posted again: a modem image
// sends one per 2 KiB block, and every post wakes the GUI thread, which then competes with the
// worker for the processor.
inline platform::MailboxTarget::Routing RunRouting(RunWatch& watch, std::function<uint64_t()> clock,
                                                   bool showsFileLines) {
  struct Posted {
    std::optional<platform::LPARAM> position;  // the last code posted, when a position
    bool ticking = false;
  };
  auto posted = std::make_shared<Posted>();  // under the mailbox's routing lock
  platform::MailboxTarget::Routing routing;
  routing.copy = [&watch, clock](uint32_t message, platform::WPARAM wParam,
                                 platform::LPARAM lParam) {
    std::optional<platform::MailboxTarget::Copy> copy;
    if (message != kMsgNotify || wParam != kStatusText || lParam == 0) return copy;
    std::string line = reinterpret_cast<const char*>(lParam);
    watch.LogStatusText(line);
    copy = {kMsgLoggedStatusText, static_cast<platform::WPARAM>(clock()), std::move(line)};
    return copy;
  };
  routing.onSender = [&watch, clock = std::move(clock), showsFileLines, posted](
                         uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam,
                         platform::LRESULT& result) {
    if (message == kMsgNotify && wParam == kStepNotice) {
      result = 0;
      if (const StepNotice* notice = StepNoticeOf(lParam)) watch.OnStep(*notice, clock());
      return true;
    }
    if (message == kMsgNotify && wParam == kProgress) {
      if (lParam == kProgressTickerStart) posted->ticking = true;
      if (lParam == kProgressTickerStop) posted->ticking = false;
      if (!posted->ticking && posted->position == lParam) {
        result = 1;  // as posting it would answer
        return true;
      }
      const bool position = lParam >= 0 && lParam <= 100;
      posted->position = position ? std::optional<platform::LPARAM>(lParam) : std::nullopt;
      return false;
    }
    posted->position.reset();
    result = 0;
    return message == kMsgNotify && wParam == kFileLine && !showsFileLines;
  };
  routing.post = [](uint32_t message, platform::WPARAM wParam, platform::LPARAM) {
    return message == kMsgNotify && wParam == kProgress;
  };
  return routing;
}

}  // namespace notify
