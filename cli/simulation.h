#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/simulation_module.h"
#include "corvane/platform/shared_library.h"

// --simulate: simulated TQ4410 phones attached before the run, on real pseudo-terminals that
// discovery finds like USB phones, and (when no files are given) a sample firmware set written
// to a directory of its own, against which the phones' stores are checked afterwards. They come
// from the simulation module, loaded by path from the program's directory only for --simulate.
namespace cli {

class Simulation {
 public:
  // Loads the module from `directory` and attaches the phones. kExitOk with `simulation` set;
  // kExitPlugin when the module is missing or lacks its entry point; kExitUsage when the command
  // cannot be simulated or a phone cannot be made; kExitNoPhone when simulated phones' ports
  // cannot be announced. `error` says why.
  static int Start(const Options& options, const std::string& directory,
                   std::unique_ptr<Simulation>& simulation, std::string& error);

  std::set<std::string> DevicePaths() const { return phones_->DevicePaths(); }
  std::string Directory() const { return phones_->Directory(); }
  std::vector<std::string> Files() const { return phones_->Files(); }
  bool HasSample() const { return !Files().empty(); }
  std::vector<SimulatedCheck> Verify() { return phones_->Verify(); }

 private:
  Simulation() = default;
  // The module's entry point, or null with `error` set.
  CreateSimulationFn Load(const std::string& path, std::string& error);

  std::unique_ptr<platform::SharedLibrary> module_;
  std::unique_ptr<SimulatedPhones> phones_;  // declared last: gone before the module unloads
};

// The simulation module in `directory` (the program's own directory by default).
std::string SimulationModulePath(const std::string& directory);

}  // namespace cli
