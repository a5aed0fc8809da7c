// The simulation module, tarvex-sim.so: simulated TQ4410 phones on pseudo-terminals that
// discovery finds like USB phones, and the sample firmware sets they are checked against.

#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <type_traits>

#include "corvane/platform/path.h"
#include "corvane/platform/process.h"
#include "sim/module/simulation_api.h"
#include "sim/tq4410_phones.h"

#if defined(_WIN32)
#define TARVEX_SIM_API __declspec(dllexport)
#else
#define TARVEX_SIM_API __attribute__((visibility("default")))
#endif

namespace {

std::string MakeSampleDirectory() {
  std::random_device random;
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("tarvex-sample-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  return platform::Utf8Of(dir);
}

}  // namespace

// Nothing may be thrown across the module's boundary: every failure becomes `error`.
extern "C" TARVEX_SIM_API simulation::SimulatedPhones* TarvexCreateSimulation(
    const simulation::SimulationRequest* request, std::string* error) {
  try {
    phonesim::Tq4410PhonesOptions options;
    options.firmware = request->firmware;
    options.phones = request->phones;
    auto phones = std::make_unique<phonesim::Tq4410Phones>(options);
    if (std::string refusal = phones->AnnouncementRefusal(); !refusal.empty()) {
      *error = std::move(refusal);
      return nullptr;
    }
    if (!phones->Attach(*error)) return nullptr;
    if (request->sample) phones->WriteSample(MakeSampleDirectory(), true);
    return phones.release();
  } catch (const std::exception& e) {
    *error = std::string("cannot simulate: ") + e.what();
    return nullptr;
  }
}

static_assert(std::is_same_v<decltype(&TarvexCreateSimulation), simulation::CreateSimulationFn>,
              "the export's type is the one tarvex-cli binds");
