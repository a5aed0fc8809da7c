#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/flash/basic_flash.h"
#include "flash/ap_factory_headers.h"

// What the chip procedures share around a step: a clean acknowledgement, the progress
// percentage, the doubled time-out of a slow command, and how a failed step or a refused factory
// table is reported.
namespace flash_steps {

// A corrupt answer may have been a refusal: only a clean acknowledgement lets the data go on.
inline bool Acknowledged(int result) { return result == kTxOk; }

inline intptr_t Percent(uint64_t done, uint64_t total) {
  return total == 0 ? 100 : static_cast<intptr_t>(done * 100 / total);
}

inline uint32_t Twice(uint32_t timeout) {
  return timeout > UINT32_MAX / 2 ? UINT32_MAX : 2 * timeout;
}

// The step's line, then the failure code; the step returns 0.
int Fail(CBasicFlash& flash, const char* text);

// A factory table that does not fit its file or `taker` (who receives the partitions: "the boot
// loader"), told by the entry that broke it; the step returns 0.
int RefusePlan(CBasicFlash& flash, ap_factory::PlanStatus status, size_t failedEntry,
               const char* taker);

}  // namespace flash_steps
