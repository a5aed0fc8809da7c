#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cli/console.h"
#include "cli/job.h"
#include "cli/ports.h"

// The same run on every phone port found, several at once: each port is started as it becomes
// ready, on a thread of its own, while at most `atOnce` run. A port whose run ended is started
// again only after it has gone from discovery (the phone was unplugged) and come back.
namespace cli {

struct MultiSettings {
  int atOnce = 8;                  // phones running at once
  int count = 0;                   // stop after this many phones; 0: no count
  std::optional<uint64_t> idleMs;  // stop once no phone has run this long; nullopt: never
  uint64_t pollMs = 250;
  const platform::Cancellation* interrupt = nullptr;  // Ctrl-C, SIGTERM (null: never)
};

struct MultiOutcome {
  std::vector<PhoneResult> results;  // in the order the phones finished
};

MultiOutcome RunMulti(const Exports& exports, const Job& job, Console& console,
                      PortWatcher& watcher, const MultiSettings& settings);

}  // namespace cli
