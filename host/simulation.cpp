#include "host/simulation.h"

#include "corvane/platform/pseudo_terminal.h"
#include "corvane/ports/published_ports.h"

namespace simulation {

std::unique_ptr<Attached> Attached::Attach(const std::string& directory,
                                           const SimulationRequest& request, Failure& failure,
                                           std::string& error) {
  // Asked first: without pseudo-terminals, where ports would be announced is beside the point.
  if (const std::string missing = platform::PseudoTerminal::Unavailable(); !missing.empty()) {
    failure = Failure::kUnsupported;
    error = "--simulate: " + missing;
    return nullptr;
  }
  if (const std::string refusal = ports::PublishRefusal(); !refusal.empty()) {
    failure = Failure::kPublishing;
    error = "--simulate: " + refusal;
    return nullptr;
  }
  const std::string path = ModulePath(directory);
  std::unique_ptr<Attached> a(new Attached());
  failure = Failure::kModule;
  a->module_ = platform::SharedLibrary::Load(path, &error);
  if (!a->module_) {
    error = "--simulate needs the simulation module " + path + ": " + error;
    return nullptr;
  }
  const auto create = a->module_->Bind<CreateSimulationFn>(kCreateSimulationName);
  if (create == nullptr) {
    error = std::string("the simulation module lacks ") + kCreateSimulationName + " (" + path + ")";
    return nullptr;
  }
  a->phones_.reset(create(&request, &error));
  if (!a->phones_) {
    failure = Failure::kPhones;
    if (error.empty()) error = "the simulation module attached no phones (" + path + ")";
    return nullptr;
  }
  failure = Failure::kNone;
  return a;
}

std::string ModulePath(const std::string& directory) {
  return (directory.empty() ? std::string(".") : directory) + "/" + kSimulationModuleName;
}

}  // namespace simulation
