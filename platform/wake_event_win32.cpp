// A wake event on Windows: a manual-reset event, which stays signalled for every wait until it
// is cleared, as the eventfd of the Linux backend stays readable until it is read.

#include <windows.h>

#include "corvane/platform/wake_event.h"

namespace platform {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

WakeEvent::WakeEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) handle_ = reinterpret_cast<intptr_t>(event);
}

WakeEvent::~WakeEvent() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

void WakeEvent::Signal() noexcept {
  if (handle_ != -1) ::SetEvent(AsHandle(handle_));
}

void WakeEvent::Clear() noexcept {
  if (handle_ != -1) ::ResetEvent(AsHandle(handle_));
}

}  // namespace platform
