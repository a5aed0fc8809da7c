#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "corvane/platform/cancellation.h"
#include "corvane/ports/serial_port_entry.h"

// Finding the phone ports to run on: the discovery the host uses, watched over time, a port the
// user named, and the report of the `ports` command.
namespace cli {

using DiscoverFn = std::function<std::vector<SerialPortEntry>()>;

// The host's discovery (FindPhonePorts with no probe, every serial port class); with `only` not
// empty, just those device paths (the simulated phones of this run, whatever else is attached).
DiscoverFn PhoneDiscovery(std::set<std::string> only = {});

struct PortPoll {
  std::vector<SerialPortEntry> present;  // every phone port found by this pass
  std::vector<SerialPortEntry> ready;    // those that may be started
};

// Discovery pass after pass. A port is ready when it was there at the first pass, or has been
// seen at two passes in a row since: one that is still enumerating is left alone for a moment,
// as the host's page waits before it enables Start.
class PortWatcher {
 public:
  explicit PortWatcher(DiscoverFn discover);
  PortPoll Poll();

 private:
  DiscoverFn discover_;
  bool first_ = true;
  std::set<std::string> previous_;
};

// Waits up to `ms` real milliseconds; true at once when `interrupt` is cancelled (null: never).
bool WaitUnlessInterrupted(const platform::Cancellation* interrupt, uint64_t ms);

// Waits for the first ready phone port, polling every `pollMs`; nullopt when `waitMs` passes
// first (no limit when `waitMs` is nullopt) or when `interrupt` is cancelled.
std::optional<SerialPortEntry> WaitForPhone(PortWatcher& watcher, std::optional<uint64_t> waitMs,
                                            uint64_t pollMs,
                                            const platform::Cancellation* interrupt = nullptr);

// A port the user named: a number that discovery bound, or a device path (bound here).
struct NamedPort {
  std::optional<SerialPortEntry> entry;
  std::string error;
};
NamedPort ResolvePort(const std::string& arg, const DiscoverFn& discover);

}  // namespace cli
