#include "cli/simulation.h"

#include <filesystem>
#include <random>
#include <stdexcept>

#include "corvane/platform/port_table.h"
#include "corvane/platform/process.h"

namespace cli {
namespace {

std::string MakeSampleDirectory() {
  std::random_device random;
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("tarvex-sample-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

PhoneLabel LabelOfPath(const std::string& path, uint8_t number) {
  const std::filesystem::path p(path);
  PhoneLabel label;
  label.number = number;
  label.name = p.parent_path().filename().string() + p.filename().string();
  label.path = path;
  return label;
}

}  // namespace

std::unique_ptr<Simulation> Simulation::Start(const Options& options, std::string& error) {
  if (options.command == Command::kUpload) {
    error =
        "upload --simulate needs a simulated phone that reads its memory back, which this "
        "build does not have yet";
    return nullptr;
  }
  std::unique_ptr<Simulation> sim(new Simulation());
  sim->command_ = options.command;
  try {
    if (!sim->Attach(options, error)) return nullptr;
    const bool hasSample = options.command == Command::kDownload ||
                           options.command == Command::kFactory || options.command == Command::kMdm;
    if (options.files.empty() && hasSample) sim->WriteSample();
  } catch (const std::exception& e) {
    error = std::string("cannot simulate: ") + e.what();
    return nullptr;
  }
  return sim;
}

Simulation::~Simulation() {
  phones_.clear();
  mdmPhone_.reset();
  if (!directory_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(directory_, ec);
  }
}

bool Simulation::Attach(const Options& options, std::string& error) {
  if (command_ == Command::kMdm) {
    mdmPhone_ = std::make_unique<phonesim::SimulatedMdmTq4410>();
    if (!mdmPhone_->Handset().WaitForMode(phonesim::QualcommHandset::Mode::kDiag, 5000)) {
      error = "the simulated phone's modem port did not appear";
      return false;
    }
    return true;
  }
  for (int i = 0; i < options.simulate; ++i) {
    phones_.push_back(std::make_unique<phonesim::SimulatedTq4410>());
  }
  return true;
}

void Simulation::WriteSample() {
  directory_ = MakeSampleDirectory();
  if (command_ == Command::kDownload)
    normal_ = phonesim::builders::SampleFirmware::Write(directory_);
  if (command_ == Command::kFactory)
    factory_ = phonesim::builders::FactorySample::Write(directory_);
  if (command_ == Command::kMdm) mdm_ = phonesim::builders::MdmSample::Write(directory_);
}

std::set<std::string> Simulation::DevicePaths() const {
  std::set<std::string> paths;
  for (const auto& phone : phones_) paths.insert(phone->Path());
  if (mdmPhone_ && mdmPhone_->PortNumber() != 0) {
    paths.insert(platform::PortPath(mdmPhone_->PortNumber()));
  }
  return paths;
}

uint8_t Simulation::FirstPort() const {
  if (mdmPhone_) return mdmPhone_->PortNumber();
  return phones_.empty() ? 0 : phones_.front()->PortNumber();
}

bool Simulation::HasSample() const { return normal_ || factory_ || mdm_; }

std::vector<std::string> Simulation::Files() const {
  if (normal_) return normal_->Files();
  if (factory_) return {factory_->CpPath(), factory_->ApPath()};
  if (mdm_) return {mdm_->ApPath()};
  return {};
}

std::vector<Simulation::Check> Simulation::Verify() {
  std::vector<Check> checks;
  for (const auto& phone : phones_) {
    if (!normal_ && !factory_) break;
    Check c{LabelOfPath(phone->Path(), phone->PortNumber()), {}};
    c.verification =
        normal_ ? phone->VerifyNormalDownload(*normal_) : phone->VerifyFactoryDownload(*factory_);
    checks.push_back(std::move(c));
  }
  if (mdmPhone_ && mdm_) {
    Check c{LabelOfPath("/dev/sim/mdm", 0), mdmPhone_->VerifyApplicationProcessor(*mdm_)};
    c.phone.name = "simulated MDM phone";
    checks.push_back(std::move(c));
  }
  return checks;
}

}  // namespace cli
