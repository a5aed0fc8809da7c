#pragma once

#include "corvane/platform/cancellation.h"
#include "corvane/platform/export.h"

// Ctrl-C and the system's requests to end a program (POSIX: SIGINT, SIGTERM and SIGHUP;
// Windows: the console's Ctrl-C and Ctrl-Break as SIGINT, its close, log-off and shut-down as
// SIGTERM, for which the handler holds the system off until the program has ended by itself or
// the system's own time limit ends it).
//
// A program that drives phones must not die in the middle of a flash: it routes these requests to
// a cancellation that its main thread waits on, cancels the runs itself, waits for them and then
// ends. The handler does nothing else: it cancels `interrupted` with the status a shell reports
// for a program ended by that request (130 for Ctrl-C, 143 for SIGTERM, 129 for a terminal that
// hung up), which is async-signal
// safe. A second Ctrl-C ends the process at once with 130, for a run that does not stop.
namespace platform {

constexpr int kInterruptStatus = 130;  // Ctrl-C
constexpr int kTerminateStatus = 143;  // the system asked the program to end
constexpr int kHangUpStatus = 129;     // the program's terminal went away

// Routes the requests to `interrupted` (which must stay alive until routed elsewhere); null
// restores the system's default handling. From the first call on, writing to a closed pipe is a
// failed write rather than the end of the process, so that a pager or log reader that went away
// never stops a flash half-way (nor the clean-up after it).
CORVANE_API void RouteInterruptsTo(Cancellation* interrupted);

}  // namespace platform
