#pragma once

#include <cstdint>

#include "corvane/platform/export.h"

// Window handles and synchronous window messages.
//
// A window handle is a pointer to a message target. SendMessage runs the target's handler and
// returns its result while the sender waits; a null handle sends nothing. GUI windows implement
// the handler by running it on their GUI thread (blocking queued call) and answer at once, without
// waiting, once they are closing, so that a worker can never hang on a dead window.
namespace platform {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

class CORVANE_API MessageTarget {
 public:
  virtual ~MessageTarget();
  virtual LRESULT HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam) = 0;
};

CORVANE_API LRESULT SendMessage(MessageTarget* window, uint32_t message, WPARAM wParam,
                                LPARAM lParam);

}  // namespace platform

using HWND = platform::MessageTarget*;
