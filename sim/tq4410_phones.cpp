#include "sim/tq4410_phones.h"

#include <cstdlib>
#include <filesystem>

#include "corvane/platform/path.h"
#include "corvane/platform/port_table.h"
#include "corvane/ports/published_ports.h"

namespace phonesim {
namespace {

using simulation::Firmware;
using simulation::SimulatedCheck;

// TARVEX_SIM_EMMC_BYTES_PER_S slows the simulated eMMC down to a real phone's pace, to watch the
// bars or to interrupt a run in its middle; unset or not a number: as fast as the link goes.
Tq4410Options PhoneOptions(const std::string& description, const UsbLocation& usb) {
  Tq4410Options options;
  if (!description.empty()) options.identity.description = description;
  if (!usb.path.empty()) options.identity.usbPath = usb.path;
  if (!usb.serial.empty()) options.identity.usbSerial = usb.serial;
  // The environment is only read once the program runs; nothing sets it.
  if (const char* rate =
          std::getenv("TARVEX_SIM_EMMC_BYTES_PER_S")) {  // NOLINT(concurrency-mt-unsafe)
    options.emmcBytesPerSecond = std::strtoull(rate, nullptr, 10);
  }
  return options;
}

SimulatedCheck CheckOf(const std::string& path, uint8_t number, const Verification& v) {
  const std::filesystem::path p = platform::PathOf(path);
  SimulatedCheck c;
  c.portNumber = number;
  c.name = platform::Utf8Of(p.parent_path().filename()) + platform::Utf8Of(p.filename());
  c.path = path;
  c.ok = v.ok;
  c.lines = v.lines;
  c.verdict = v.Verdict();
  return c;
}

}  // namespace

Tq4410Phones::Tq4410Phones(Tq4410PhonesOptions options) : options_(std::move(options)) {
  if (options_.privateAnnouncements) announcements_.emplace();
}

Tq4410Phones::~Tq4410Phones() {
  phones_.clear();
  mdmPhone_.reset();
  if (ownsDirectory_) {
    std::error_code ec;
    std::filesystem::remove_all(platform::PathOf(directory_), ec);
  }
}

std::string Tq4410Phones::AnnouncementRefusal() const {
  return announcements_ ? announcements_->Refusal() : ports::PublishRefusal();
}

bool Tq4410Phones::Attach(std::string& error) {
  if (options_.firmware == Firmware::kMdm) {
    mdmPhone_ = std::make_unique<SimulatedMdmTq4410>(options_.description, options_.usb);
    if (!mdmPhone_->Handset().WaitForMode(QualcommHandset::Mode::kDiag, 5000)) {
      error = "the simulated phone's modem port did not appear";
      return false;
    }
    return true;
  }
  for (int i = 0; i < options_.phones; ++i) {
    phones_.push_back(
        std::make_unique<SimulatedTq4410>(PhoneOptions(options_.description, options_.usb)));
  }
  return true;
}

void Tq4410Phones::WriteSample(const std::string& directory, bool owned) {
  directory_ = directory;
  ownsDirectory_ = owned;
  if (options_.firmware == Firmware::kDownload)
    normal_ = builders::SampleFirmware::Write(directory_);
  if (options_.firmware == Firmware::kFactory)
    factory_ = builders::FactorySample::Write(directory_);
  if (options_.firmware == Firmware::kMdm) mdm_ = builders::MdmSample::Write(directory_);
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

}  // namespace phonesim
