#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "corvane/platform/shared_library.h"
#include "sim/module/simulation_api.h"

// Simulated TQ4410 phones attached for --simulate, on real pseudo-terminals that discovery finds
// like USB phones, from the simulation module loaded by path from the program's directory.
namespace simulation {

class Attached {
 public:
  enum class Failure { kNone, kModule, kPhones, kPublishing, kUnsupported };

  // The phones attached, or null with `failure` and `error` set: kUnsupported when the system
  // has no pseudo-terminals for them (Windows), kModule when the module is
  // missing or lacks its entry point, kPublishing when ports cannot be announced (they would
  // never be found), kPhones when the module made none.
  static std::unique_ptr<Attached> Attach(const std::string& directory,
                                          const SimulationRequest& request, Failure& failure,
                                          std::string& error);

  std::set<std::string> DevicePaths() const { return phones_->DevicePaths(); }
  std::string Directory() const { return phones_->Directory(); }
  std::vector<std::string> Files() const { return phones_->Files(); }
  bool HasSample() const { return !Files().empty(); }
  std::vector<SimulatedCheck> Verify() { return phones_->Verify(); }

 private:
  Attached() = default;

  std::unique_ptr<platform::SharedLibrary> module_;
  std::unique_ptr<SimulatedPhones> phones_;  // declared last: gone before the module unloads
};

// The simulation module in `directory` (the program's own directory by default).
std::string ModulePath(const std::string& directory);

}  // namespace simulation
