#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "corvane/platform/shared_library.h"

// What the front ends and their simulation module (tarvex-sim.so beside the programs) agree on.
// The module carries the simulated phones and the sample firmware builders, so the shipped
// programs link none of them and load the module only for --simulate. Both sides are built
// together with the same compiler and library, so standard types cross the boundary as the
// plug-in's do.
namespace simulation {

inline constexpr const char* kSimulationModuleName = "tarvex-sim" CORVANE_LIBRARY_SUFFIX;
inline constexpr const char* kCreateSimulationName = "TarvexCreateSimulation";

// The firmware the phones are made for: normal and factory downloads use TQ4410s with an eMMC
// and a modem, an MDM download one phone whose modem re-enumerates.
enum class Firmware { kNone, kDownload, kFactory, kMdm };

struct SimulationRequest {
  Firmware firmware = Firmware::kNone;
  int phones = 1;       // simulated TQ4410s (mdm: always one MDM phone)
  bool sample = false;  // write a sample firmware set, to check the phones against afterwards
};

// One phone's stores compared with the sample set.
struct SimulatedCheck {
  uint8_t portNumber = 0;
  std::string name;  // pts3, or "simulated MDM phone"
  std::string path;
  bool ok = false;
  std::vector<std::string> lines;  // one per image
  std::string verdict;
};

// The attached phones and the sample set; destroying it detaches them and removes the set.
class SimulatedPhones {
 public:
  virtual ~SimulatedPhones() = default;
  // The device paths of the phones (the modem's current port for mdm), so that discovery sees
  // only them.
  virtual std::set<std::string> DevicePaths() const = 0;
  // Where the sample set was written ("" without one).
  virtual std::string Directory() const = 0;
  // The sample set's files for the command line (empty without one).
  virtual std::vector<std::string> Files() const = 0;
  // Compares every phone's stores with the sample set (nothing without one).
  virtual std::vector<SimulatedCheck> Verify() = 0;
};

// The module's one export, bound by name: the phones attached (and the sample set written), or
// null with `error` set. The caller owns the result and deletes it before unloading the module.
using CreateSimulationFn = SimulatedPhones* (*)(const SimulationRequest* request,
                                                std::string* error);

}  // namespace simulation
