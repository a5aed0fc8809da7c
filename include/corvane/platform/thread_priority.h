#pragma once

#include "corvane/platform/export.h"

namespace platform {

// Lets the calling thread run only on a core that nothing else wants: work that can wait (hashing
// what a step read) must never take the processor from a phone's worker, the window that worker
// waits for, or a simulated phone on the same machine (Linux: SCHED_IDLE; Windows: the idle
// priority level). False when the system refused.
CORVANE_API bool RunOnlyWhenIdle();

}  // namespace platform
