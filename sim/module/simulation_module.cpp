// The simulation module, tarvex-sim.so: simulated TQ4410 phones on pseudo-terminals that
// discovery finds like USB phones, and the sample firmware sets they are checked against.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <type_traits>

#include "corvane/platform/port_table.h"
#include "corvane/platform/process.h"
#include "sim/builders/sample_firmware.h"
#include "sim/module/simulation_api.h"
#include "sim/private_announcements.h"
#include "sim/tq4410.h"

#if defined(_WIN32)
#define TARVEX_SIM_API __declspec(dllexport)
#else
#define TARVEX_SIM_API __attribute__((visibility("default")))
#endif

namespace {

using simulation::Firmware;
using simulation::SimulatedCheck;

std::string MakeSampleDirectory() {
  std::random_device random;
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("tarvex-sample-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

// TARVEX_SIM_EMMC_BYTES_PER_S slows the simulated eMMC down to a real phone's pace, to watch the
// bars or to interrupt a run in its middle; unset or not a number: as fast as the link goes.
phonesim::Tq4410Options PhoneOptions() {
  phonesim::Tq4410Options options;
  // The environment is only read once the program runs; nothing sets it.
  if (const char* rate =
          std::getenv("TARVEX_SIM_EMMC_BYTES_PER_S")) {  // NOLINT(concurrency-mt-unsafe)
    options.emmcBytesPerSecond = std::strtoull(rate, nullptr, 10);
  }
  return options;
}

SimulatedCheck CheckOf(const std::string& path, uint8_t number, const phonesim::Verification& v) {
  const std::filesystem::path p(path);
  SimulatedCheck c;
  c.portNumber = number;
  c.name = p.parent_path().filename().string() + p.filename().string();
  c.path = path;
  c.ok = v.ok;
  c.lines = v.lines;
  c.verdict = v.Verdict();
  return c;
}

class Tq4410Phones final : public simulation::SimulatedPhones {
 public:
  explicit Tq4410Phones(Firmware firmware) : firmware_(firmware) {}
  ~Tq4410Phones() override;

  const std::string& AnnouncementRefusal() const { return announcements_.Refusal(); }
  bool Attach(int phones, std::string& error);
  void WriteSample();

  std::set<std::string> DevicePaths() const override;
  std::string Directory() const override { return directory_; }
  std::vector<std::string> Files() const override;
  std::vector<SimulatedCheck> Verify() override;

 private:
  // First, so that it outlives the phones: another tarvex-cli running at the same time must
  // never find this run's phones, least of all the modem port an MDM phone opens anew.
  phonesim::PrivateAnnouncements announcements_;
  Firmware firmware_;
  std::string directory_;
  std::vector<std::unique_ptr<phonesim::SimulatedTq4410>> phones_;
  std::unique_ptr<phonesim::SimulatedMdmTq4410> mdmPhone_;
  std::optional<phonesim::builders::SampleFirmware> normal_;
  std::optional<phonesim::builders::FactorySample> factory_;
  std::optional<phonesim::builders::MdmSample> mdm_;
};

Tq4410Phones::~Tq4410Phones() {
  phones_.clear();
  mdmPhone_.reset();
  if (!directory_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(directory_, ec);
  }
}

bool Tq4410Phones::Attach(int phones, std::string& error) {
  if (firmware_ == Firmware::kMdm) {
    mdmPhone_ = std::make_unique<phonesim::SimulatedMdmTq4410>();
    if (!mdmPhone_->Handset().WaitForMode(phonesim::QualcommHandset::Mode::kDiag, 5000)) {
      error = "the simulated phone's modem port did not appear";
      return false;
    }
    return true;
  }
  for (int i = 0; i < phones; ++i) {
    phones_.push_back(std::make_unique<phonesim::SimulatedTq4410>(PhoneOptions()));
  }
  return true;
}

void Tq4410Phones::WriteSample() {
  directory_ = MakeSampleDirectory();
  if (firmware_ == Firmware::kDownload)
    normal_ = phonesim::builders::SampleFirmware::Write(directory_);
  if (firmware_ == Firmware::kFactory)
    factory_ = phonesim::builders::FactorySample::Write(directory_);
  if (firmware_ == Firmware::kMdm) mdm_ = phonesim::builders::MdmSample::Write(directory_);
}

std::set<std::string> Tq4410Phones::DevicePaths() const {
  std::set<std::string> paths;
  for (const auto& phone : phones_) paths.insert(phone->Path());
  if (mdmPhone_ && mdmPhone_->PortNumber() != 0) {
    paths.insert(platform::PortPath(mdmPhone_->PortNumber()));
  }
  return paths;
}

std::vector<std::string> Tq4410Phones::Files() const {
  if (normal_) return normal_->Files();
  if (factory_) return {factory_->CpPath(), factory_->ApPath()};
  if (mdm_) return {mdm_->ApPath()};
  return {};
}

std::vector<SimulatedCheck> Tq4410Phones::Verify() {
  std::vector<SimulatedCheck> checks;
  for (const auto& phone : phones_) {
    if (!normal_ && !factory_) break;
    checks.push_back(CheckOf(
        phone->Path(), phone->PortNumber(),
        normal_ ? phone->VerifyNormalDownload(*normal_) : phone->VerifyFactoryDownload(*factory_)));
  }
  if (mdmPhone_ && mdm_) {
    checks.push_back(CheckOf("/dev/sim/mdm", 0, mdmPhone_->VerifyApplicationProcessor(*mdm_)));
    checks.back().name = "simulated MDM phone";
  }
  return checks;
}

}  // namespace

// Nothing may be thrown across the module's boundary: every failure becomes `error`.
extern "C" TARVEX_SIM_API simulation::SimulatedPhones* TarvexCreateSimulation(
    const simulation::SimulationRequest* request, std::string* error) {
  try {
    auto phones = std::make_unique<Tq4410Phones>(request->firmware);
    if (!phones->AnnouncementRefusal().empty()) {
      *error = phones->AnnouncementRefusal();
      return nullptr;
    }
    if (!phones->Attach(request->phones, *error)) return nullptr;
    if (request->sample) phones->WriteSample();
    return phones.release();
  } catch (const std::exception& e) {
    *error = std::string("cannot simulate: ") + e.what();
    return nullptr;
  }
}

static_assert(std::is_same_v<decltype(&TarvexCreateSimulation), simulation::CreateSimulationFn>,
              "the export's type is the one tarvex-cli binds");
