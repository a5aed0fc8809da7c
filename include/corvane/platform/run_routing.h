#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_outcome.h"

namespace notify {

// How a run's window takes its worker's messages without a thread hand-over for each block:
// step notices go into the run's `watch` on the worker's own thread, at the time `clock` (the
// run's clock, callable from the worker) tells, file lines are answered there when the window
// does not show them, and progress codes (values only) are posted. Everything else (status
// lines, factory data, the run's end) still waits for the GUI thread.
inline platform::MailboxTarget::Routing RunRouting(RunWatch& watch, std::function<uint64_t()> clock,
                                                   bool showsFileLines) {
  platform::MailboxTarget::Routing routing;
  routing.onSender = [&watch, clock = std::move(clock), showsFileLines](
                         uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam,
                         platform::LRESULT& result) {
    if (message != kMsgNotify) return false;
    result = 0;
    if (wParam == kStepNotice) {
      if (const StepNotice* notice = StepNoticeOf(lParam)) watch.OnStep(*notice, clock());
      return true;
    }
    return wParam == kFileLine && !showsFileLines;
  };
  routing.post = [](uint32_t message, platform::WPARAM wParam, platform::LPARAM) {
    return message == kMsgNotify && wParam == kProgress;
  };
  return routing;
}

}  // namespace notify
