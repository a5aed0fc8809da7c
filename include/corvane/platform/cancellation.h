#pragma once

#include <atomic>
#include <cstdint>

#include "corvane/platform/export.h"

// A one-way "stop now" between the thread that runs a job and whoever wants it ended: a window
// that closes, Ctrl-C. Once cancelled it stays cancelled; every wait made through it ends at once.
//
// Cancel may be called from any thread and from a signal handler: it only stores to a lock-free
// atomic and writes to the wake-up handle. Waiters poll the handle (POSIX: a descriptor that
// becomes readable, beside the serial port's own; Windows: a manual-reset event HANDLE that is
// set, waited for beside the port's I/O events) so that a wait of minutes ends immediately.
namespace platform {

class CORVANE_API Cancellation {
 public:
  Cancellation();
  ~Cancellation();
  Cancellation(const Cancellation&) = delete;
  Cancellation& operator=(const Cancellation&) = delete;

  // Marks it cancelled and wakes every waiter. `reason` (non-zero) tells the owner why; the first
  // reason stays.
  void Cancel(int reason = 1) noexcept;
  bool IsCancelled() const noexcept { return reason_.load(std::memory_order_acquire) != 0; }
  // 0 while not cancelled.
  int Reason() const noexcept { return reason_.load(std::memory_order_acquire); }

  // Waits up to `realMs` real milliseconds; true when it is (or became) cancelled.
  bool WaitRealMs(int realMs) const;

  // What becomes signalled once cancelled (POSIX: a descriptor that turns readable; Windows: a
  // manual-reset event HANDLE that stays set), for waits that watch a device at the same time; -1
  // when the system gave none (waiters then look at IsCancelled between short waits).
  intptr_t WakeHandle() const noexcept { return wake_; }

 private:
  static_assert(std::atomic<int>::is_always_lock_free, "Cancel must be async-signal-safe");
  std::atomic<int> reason_{0};
  intptr_t wake_ = -1;
};

}  // namespace platform
