// Cancellation on Linux: an eventfd that is written once and never read, so that it stays
// readable for every poll() that watches it from then on.

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "corvane/platform/cancellation.h"

namespace platform {

Cancellation::Cancellation() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Cancellation::~Cancellation() {
  if (wake_ >= 0) ::close(static_cast<int>(wake_));
}

void Cancellation::Cancel(int reason) noexcept {
  int expected = 0;
  if (!reason_.compare_exchange_strong(expected, reason == 0 ? 1 : reason,
                                       std::memory_order_acq_rel)) {
    return;
  }
  if (wake_ >= 0) {
    const uint64_t one = 1;
    const ssize_t written = ::write(static_cast<int>(wake_), &one, sizeof one);
    (void)written;  // a full counter is readable already
  }
}

bool Cancellation::WaitRealMs(int realMs) const {
  using Steady = std::chrono::steady_clock;
  const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(realMs, 0));
  for (;;) {
    if (IsCancelled()) return true;
    // Rounded up: a pause must never end before its time.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) return IsCancelled();
    if (wake_ >= 0) {
      pollfd p{static_cast<int>(wake_), POLLIN, 0};
      // Woken, timed out or interrupted by a signal: look again.
      if (::poll(&p, 1, static_cast<int>(left)) >= 0 || errno == EINTR) continue;
    }
    // Without a usable descriptor, look at the flag every few milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 5)));
  }
}

}  // namespace platform
