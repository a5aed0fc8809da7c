// POSIX interrupts: SIGINT, SIGTERM and SIGHUP cancel the routed cancellation; SIGPIPE is ignored.

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "corvane/platform/interrupts.h"

namespace platform {
namespace {

std::atomic<Cancellation*> g_interrupted{nullptr};
static_assert(std::atomic<Cancellation*>::is_always_lock_free);

extern "C" void OnInterrupt(int signal) {
  Cancellation* interrupted = g_interrupted.load(std::memory_order_acquire);
  if (interrupted == nullptr) return;
  if (signal == SIGINT && interrupted->IsCancelled()) _exit(kInterruptStatus);
  interrupted->Cancel(signal == SIGINT   ? kInterruptStatus
                      : signal == SIGHUP ? kHangUpStatus
                                         : kTerminateStatus);
}

void Handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Slow calls of other threads go on; the waits that matter watch the cancellation instead.
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void RouteInterruptsTo(Cancellation* interrupted) {
  g_interrupted.store(interrupted, std::memory_order_release);
  void (*handler)(int) = interrupted != nullptr ? OnInterrupt : SIG_DFL;
  Handle(SIGINT, handler);
  Handle(SIGTERM, handler);
  Handle(SIGHUP, handler);
  Handle(SIGPIPE, SIG_IGN);
}

}  // namespace platform
