#include "cli/simulation.h"

#include "corvane/ports/published_ports.h"

namespace cli {
namespace {

// Without files of the user's own, the commands that write firmware get a sample set to check.
bool WritesSample(const Options& o) {
  return o.files.empty() && (o.command == Command::kDownload || o.command == Command::kFactory ||
                             o.command == Command::kMdm);
}

}  // namespace

int Simulation::Start(const Options& options, const std::string& directory,
                      std::unique_ptr<Simulation>& simulation, std::string& error) {
  if (options.command == Command::kUpload) {
    error =
        "upload --simulate needs a simulated phone that reads its memory back, which this "
        "build does not have yet";
    return kExitUsage;
  }
  // Phones that cannot be announced would never be found: say why now, not after a wait.
  if (const std::string refusal = ports::PublishRefusal(); !refusal.empty()) {
    error = "--simulate: " + refusal;
    return kExitNoPhone;
  }
  const std::string path = SimulationModulePath(directory);
  std::unique_ptr<Simulation> s(new Simulation());
  const CreateSimulationFn create = s->Load(path, error);
  if (create == nullptr) return kExitPlugin;
  const SimulationRequest request{options.command, options.simulate, WritesSample(options)};
  s->phones_.reset(create(&request, &error));
  if (!s->phones_) {
    if (error.empty()) error = "the simulation module attached no phones (" + path + ")";
    return kExitUsage;
  }
  simulation = std::move(s);
  return kExitOk;
}

CreateSimulationFn Simulation::Load(const std::string& path, std::string& error) {
  module_ = platform::SharedLibrary::Load(path, &error);
  if (!module_) {
    error = "--simulate needs the simulation module " + path + ": " + error;
    return nullptr;
  }
  const auto create = module_->Bind<CreateSimulationFn>(kCreateSimulationName);
  if (create == nullptr) {
    error = std::string("the simulation module lacks ") + kCreateSimulationName + " (" + path + ")";
  }
  return create;
}

std::string SimulationModulePath(const std::string& directory) {
  return (directory.empty() ? std::string(".") : directory) + "/" + kSimulationModuleName;
}

}  // namespace cli
