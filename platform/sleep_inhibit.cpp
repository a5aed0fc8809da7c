#include "corvane/platform/sleep_inhibit.h"

namespace platform {

std::string SleepInhibit::Warning() const {
  if (Held()) return "";
  return "the system may sleep while phones are written (" + problem_ + ")";
}

}  // namespace platform
