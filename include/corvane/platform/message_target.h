#pragma once

#include <cstdint>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/export.h"

// Window handles and synchronous window messages.
//
// A window handle is a pointer to a message target. SendWindowMessage runs the target's handler
// and returns its result while the sender waits; a null handle sends nothing. GUI windows implement
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

// A window handle: what the plug-in's entry points take as the window they report to. Named
// apart from the system's own window types, so that this header and <windows.h> can meet in one
// translation unit.
using WindowHandle = MessageTarget*;

// Runs the target's handler and returns its result; 0 without calling it for a null or closed
// target.
CORVANE_API LRESULT SendWindowMessage(MessageTarget* window, uint32_t message, WPARAM wParam,
                                      LPARAM lParam);

#if !defined(_WIN32)
// The names plug-in sources were written with; <windows.h> has its own, so they exist only
// where it does not.
[[deprecated("use platform::SendWindowMessage")]] inline LRESULT SendMessage(MessageTarget* window,
                                                                             uint32_t message,
                                                                             WPARAM wParam,
                                                                             LPARAM lParam) {
  return SendWindowMessage(window, message, wParam, lParam);
}
#endif

}  // namespace platform

#if !defined(_WIN32)
using HWND [[deprecated("use platform::WindowHandle")]] = platform::WindowHandle;
#endif
