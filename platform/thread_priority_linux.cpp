#include <pthread.h>
#include <sched.h>

#include "corvane/platform/thread_priority.h"

namespace platform {

// SCHED_IDLE: below every nice level, so even a busy machine's threads go first; it needs no
// privilege.
bool RunOnlyWhenIdle() {
  sched_param none{};
  return pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) == 0;
}

}  // namespace platform
