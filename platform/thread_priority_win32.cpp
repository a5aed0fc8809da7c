#include <windows.h>

#include "corvane/platform/thread_priority.h"

namespace platform {

// The idle level: below every normal thread of any process, as SCHED_IDLE is; it needs no
// privilege.
bool RunOnlyWhenIdle() { return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE) != 0; }

}  // namespace platform
