#pragma once

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/written_files.h"

namespace notify {

// How a run's window takes its worker's messages without a thread hand-over for each block:
// step notices are counted into `written` on the worker's own thread, file lines are answered
// there when the window does not show them, and progress codes (values only) are posted.
// Everything else (status lines, factory data, the run's end) still waits for the GUI thread.
inline platform::MailboxTarget::Routing RunRouting(WrittenFiles& written, bool showsFileLines) {
  platform::MailboxTarget::Routing routing;
  routing.onSender = [&written, showsFileLines](uint32_t message, platform::WPARAM wParam,
                                                platform::LPARAM lParam,
                                                platform::LRESULT& result) {
    if (message != kMsgNotify) return false;
    result = 0;
    if (wParam == kStepNotice) {
      if (const StepNotice* notice = StepNoticeOf(lParam)) written.OnStep(*notice);
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
