#include "cli/simulation.h"

namespace cli {
namespace {

// Without files of the user's own, the commands that write firmware get a sample set to check.
bool WritesSample(const Options& o) {
  return o.files.empty() && (o.command == Command::kDownload || o.command == Command::kFactory ||
                             o.command == Command::kMdm);
}

simulation::Firmware FirmwareOf(Command command) {
  switch (command) {
    case Command::kDownload:
      return simulation::Firmware::kDownload;
    case Command::kFactory:
      return simulation::Firmware::kFactory;
    case Command::kMdm:
      return simulation::Firmware::kMdm;
    default:
      return simulation::Firmware::kNone;
  }
}

}  // namespace

int Simulation::Start(const Options& options, const std::string& directory,
                      std::unique_ptr<simulation::Attached>& attached, std::string& error) {
  if (options.command == Command::kUpload) {
    error =
        "upload --simulate needs a simulated phone that reads its memory back, which this "
        "build does not have yet";
    return kExitUsage;
  }
  using Failure = simulation::Attached::Failure;
  Failure failure = Failure::kNone;
  const simulation::SimulationRequest request{FirmwareOf(options.command), options.simulate,
                                              WritesSample(options)};
  attached = simulation::Attached::Attach(directory, request, failure, error);
  switch (failure) {
    case Failure::kNone:
      return kExitOk;
    case Failure::kModule:
    case Failure::kUnsupported:
      return kExitPlugin;
    case Failure::kPublishing:
      return kExitNoPhone;
    case Failure::kPhones:
      break;
  }
  return kExitUsage;
}

}  // namespace cli
