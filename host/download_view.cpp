#include "host/download_view.h"

#include "corvane/platform/clock.h"
#include "corvane/platform/run_outcome.h"

namespace view {

std::string ElapsedPrefix(uint64_t elapsedMs) { return platform::ElapsedText(elapsedMs) + "  :"; }

FactoryRow ModelNameRow(const char* name) { return {"MODEL NAME", notify::FactoryModelName(name)}; }

FactoryRow PidRow(const uint8_t* block) { return {"PID", notify::FactoryPid(block)}; }

}  // namespace view
