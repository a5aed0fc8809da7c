#pragma once

#include <cstdint>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/export.h"

// Window handles and synchronous window messages.
//
// A window handle is a pointer to a message target. SendMessage runs the target's handler and
// returns its result while the sender waits; a null handle sends nothing. GUI windows implement
// the handler by running it on their GUI thread (blocking queued call) and answer at once, without
// waiting, once they are closing, so that a worker can never hang on a dead window.
//
// Closing a target (from any thread, a signal handler included) also cancels the run that reports
// to it: the link and the sequences reach the target's cancellation through the window they were
// given, so every further exchange, wait and pause of that run fails at once and the run ends
// through its normal failure path on its own thread, which closes its own port. Messages sent to
// a closed target are dropped.
namespace platform {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

class CORVANE_API MessageTarget {
 public:
  MessageTarget();
  virtual ~MessageTarget();
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  virtual LRESULT HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam) = 0;

  // Marks the target closed and cancels the run that reports to it; `reason` as for
  // Cancellation::Cancel. The owner still waits for that run to end before destroying the target.
  void Close(int reason = 1) noexcept { closing_.Cancel(reason); }
  bool IsClosed() const noexcept { return closing_.IsCancelled(); }
  const Cancellation& Closing() const noexcept { return closing_; }

 private:
  Cancellation closing_;
};

// The cancellation of the run that reports to `window`; null for a null window.
inline const Cancellation* CancellationOf(const MessageTarget* window) {
  return window != nullptr ? &window->Closing() : nullptr;
}

// Runs the target's handler and returns its result; 0 without calling it for a null or closed
// target.

CORVANE_API LRESULT SendMessage(MessageTarget* window, uint32_t message, WPARAM wParam,
                                LPARAM lParam);

}  // namespace platform

using HWND = platform::MessageTarget*;
