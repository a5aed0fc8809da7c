#include "cli/simulation.h"

namespace cli {

int Simulation::Start(const Options& options, const std::string& directory,
                      std::unique_ptr<Simulation>& simulation, std::string& error) {
  if (options.command == Command::kUpload) {
    error =
        "upload --simulate needs a simulated phone that reads its memory back, which this "
        "build does not have yet";
    return kExitUsage;
  }
  const std::string path = SimulationModulePath(directory);
  std::unique_ptr<Simulation> s(new Simulation());
  s->module_ = platform::SharedLibrary::Load(path, &error);
  if (!s->module_) {
    error = "--simulate needs the simulation module " + path + ": " + error;
    return kExitPlugin;
  }
  const auto create = s->module_->Bind<CreateSimulationFn>(kCreateSimulationName);
  if (create == nullptr) {
    error = std::string("the simulation module lacks ") + kCreateSimulationName + " (" + path + ")";
    return kExitPlugin;
  }
  const bool sample = options.files.empty() && (options.command == Command::kDownload ||
                                                options.command == Command::kFactory ||
                                                options.command == Command::kMdm);
  const SimulationRequest request{options.command, options.simulate, sample};
  s->phones_.reset(create(&request, &error));
  if (!s->phones_) return kExitUsage;
  simulation = std::move(s);
  return kExitOk;
}

std::string SimulationModulePath(const std::string& directory) {
  return (directory.empty() ? std::string(".") : directory) + "/" + kSimulationModuleName;
}

}  // namespace cli
