#include <time.h>

#include "corvane/platform/clock.h"

namespace platform {

bool LocalTime(std::time_t secondsSinceEpoch, std::tm& local) {
  return ::localtime_r(&secondsSinceEpoch, &local) != nullptr;
}

}  // namespace platform
