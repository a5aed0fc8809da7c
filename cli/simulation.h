#pragma once

#include <memory>
#include <string>

#include "cli/options.h"
#include "host/simulation.h"

// --simulate for tarvex-cli: the phones of host/simulation for the command, and (when no files
// are given) a sample firmware set against which the phones' stores are checked afterwards.
namespace cli {

using simulation::SimulatedCheck;

class Simulation {
 public:
  // kExitOk with `simulation` set; kExitPlugin when the module is missing or lacks its entry
  // point, or the system has no pseudo-terminals for simulated phones; kExitUsage when the command
  // cannot be simulated or a phone cannot be made; kExitNoPhone when simulated phones' ports cannot
  // be announced. `error` says why.
  static int Start(const Options& options, const std::string& directory,
                   std::unique_ptr<simulation::Attached>& simulation, std::string& error);
};

}  // namespace cli
