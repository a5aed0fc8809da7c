#include <time.h>

#include "corvane/platform/clock.h"

namespace platform {

// The C library's localtime_s keeps its result in the caller's tm, so any thread may call it.
bool LocalTime(std::time_t secondsSinceEpoch, std::tm& local) {
  return ::localtime_s(&local, &secondsSinceEpoch) == 0;
}

}  // namespace platform
