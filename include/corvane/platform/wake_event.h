#pragma once

#include <cstdint>

#include "corvane/platform/export.h"

// A level-triggered "something is waiting for you" between threads, which an event loop can
// watch beside its other sources: a worker signals it, the loop's thread sees its handle turn
// readable and clears it before it looks at what is waiting. Signalling is lock-free and may
// happen any number of times before the loop looks.
namespace platform {

class CORVANE_API WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Signal() noexcept;
  // Ends the signalled state; signals made after it are seen again.
  void Clear() noexcept;
  // What turns readable while signalled (POSIX: a descriptor; Windows: a manual-reset event
  // HANDLE, set until cleared); -1 when the system gave none.
  intptr_t Handle() const noexcept { return handle_; }

 private:
  intptr_t handle_ = -1;
};

}  // namespace platform
