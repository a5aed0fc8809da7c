// A build without a service that keeps the system awake: every hold reports why it is not held.

#include "corvane/platform/sleep_inhibit.h"

namespace platform {

SleepInhibit::SleepInhibit(const std::string& why)
    : problem_("this build cannot keep the system awake") {
  (void)why;
}

SleepInhibit::~SleepInhibit() = default;

}  // namespace platform
