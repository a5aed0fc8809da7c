// Cancellation on Windows: a manual-reset event that is set once and never reset, so that it stays
// signalled for every wait that watches it from then on. Setting an event is safe from a console
// control handler, which runs on a thread of its own.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "corvane/platform/cancellation.h"

namespace platform {

namespace {

intptr_t NewEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event != nullptr ? reinterpret_cast<intptr_t>(event) : -1;
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

Cancellation::Cancellation() : wake_(NewEvent()) {}

Cancellation::~Cancellation() {
  if (wake_ != -1) ::CloseHandle(AsHandle(wake_));
}

void Cancellation::Cancel(int reason) noexcept {
  int expected = 0;
  if (!reason_.compare_exchange_strong(expected, reason == 0 ? 1 : reason,
                                       std::memory_order_acq_rel)) {
    return;
  }
  if (wake_ != -1) ::SetEvent(AsHandle(wake_));
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
    if (wake_ != -1) {
      // Set or timed out: look again.
      if (::WaitForSingleObject(AsHandle(wake_), static_cast<DWORD>(left)) != WAIT_FAILED) {
        continue;
      }
    }
    // Without a usable event, look at the flag every few milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 5)));
  }
}

}  // namespace platform
