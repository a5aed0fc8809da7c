#include "flash/step_helpers.h"

#include "corvane/platform/notify.h"

namespace flash_steps {

int Fail(CBasicFlash& flash, const char* text) {
  flash.SendText(text);
  flash.SendCode(notify::kProgressFailed);
  return 0;
}

int RefusePlan(CBasicFlash& flash, ap_factory::PlanStatus status, size_t failedEntry,
               const char* taker) {
  if (status == ap_factory::PlanStatus::kPastEndOfFile) {
    flash.SendTextF("Partition %zu runs past the end of the file", failedEntry);
  } else {
    flash.SendTextF("Partition %zu is too large for %s", failedEntry, taker);
  }
  flash.SendCode(notify::kProgressFailed);
  return 0;
}

}  // namespace flash_steps
