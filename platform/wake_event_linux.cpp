// A wake event on Linux: a non-blocking eventfd, readable while its counter is not zero.

#include <sys/eventfd.h>
#include <unistd.h>

#include "corvane/platform/wake_event.h"

namespace platform {

WakeEvent::WakeEvent() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void WakeEvent::Signal() noexcept {
  if (handle_ < 0) return;
  const uint64_t one = 1;
  const ssize_t written = ::write(static_cast<int>(handle_), &one, sizeof one);
  (void)written;  // a full counter is readable already
}

void WakeEvent::Clear() noexcept {
  if (handle_ < 0) return;
  uint64_t count = 0;
  const ssize_t got = ::read(static_cast<int>(handle_), &count, sizeof count);
  (void)got;  // nothing to read: it was clear already
}

}  // namespace platform
