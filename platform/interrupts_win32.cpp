// Windows interrupts: the console's control events. Ctrl-C and Ctrl-Break cancel as SIGINT does;
// closing the console, logging off and shutting down cancel as SIGTERM does. Writing to a closed
// pipe already fails without ending the process here.

#include <windows.h>

#include <atomic>

#include "corvane/platform/interrupts.h"

namespace platform {
namespace {

std::atomic<Cancellation*> g_interrupted{nullptr};
std::atomic<bool> g_routed{false};

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  Cancellation* interrupted = g_interrupted.load(std::memory_order_acquire);
  if (interrupted == nullptr) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // Ended as _exit ends it on POSIX: no clean-up that a stuck run could hold up.
      if (interrupted->IsCancelled()) TerminateProcess(GetCurrentProcess(), kInterruptStatus);
      interrupted->Cancel(kInterruptStatus);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      interrupted->Cancel(kTerminateStatus);
      // The system ends the process as soon as this returns. Held here, the program's own
      // threads cancel their runs and end it as they do after SIGTERM, until the system's own
      // time limit ends it regardless, as a service manager follows SIGTERM with SIGKILL.
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void RouteInterruptsTo(Cancellation* interrupted) {
  g_interrupted.store(interrupted, std::memory_order_release);
  const bool route = interrupted != nullptr;
  // Added once: the system would call a handler added twice twice.
  if (g_routed.exchange(route) != route) SetConsoleCtrlHandler(OnConsoleEvent, route);
}

}  // namespace platform
