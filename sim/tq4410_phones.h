#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/builders/sample_firmware.h"
#include "sim/module/simulation_api.h"
#include "sim/private_announcements.h"
#include "sim/tq4410.h"

// Simulated TQ4410s made for one kind of download, with the sample firmware set they are checked
// against: the phones of --simulate (through the simulation module) and of a stand-alone
// phonesim alike, so that both judge a download by the same comparison.
namespace phonesim {

struct Tq4410PhonesOptions {
  simulation::Firmware firmware = simulation::Firmware::kDownload;
  int phones = 1;  // TQ4410s with an eMMC and a modem; an MDM download has one MDM phone
  // True: only this process finds the phones (a run of --simulate must never lend them to
  // another run); false: every program of the user does (a stand-alone simulator).
  bool privateAnnouncements = true;
  // How the port a host looks for first announces itself; "" as the maker's phones do.
  std::string description;
  // Where the phones are plugged in (empty: each in a socket of its own).
  UsbLocation usb;
};

class Tq4410Phones final : public simulation::SimulatedPhones {
 public:
  explicit Tq4410Phones(Tq4410PhonesOptions options);
  ~Tq4410Phones() override;
  Tq4410Phones(const Tq4410Phones&) = delete;
  Tq4410Phones& operator=(const Tq4410Phones&) = delete;

  // Why the phones' ports cannot be announced ("" when they can): nobody would find them.
  std::string AnnouncementRefusal() const;
  bool Attach(std::string& error);
  // Writes the sample set into `directory`, which must exist. `owned`: the directory goes with
  // the phones (one made for them); otherwise the set stays where the user asked for it.
  // Throws std::runtime_error when a file cannot be written.
  void WriteSample(const std::string& directory, bool owned);

  std::set<std::string> DevicePaths() const override;
  std::string Directory() const override { return directory_; }
  std::vector<std::string> Files() const override;
  std::vector<simulation::SimulatedCheck> Verify() override;

 private:
  // First, so that it outlives the phones: another tarvex-cli running at the same time must
  // never find this run's phones, least of all the modem port an MDM phone opens anew.
  std::optional<PrivateAnnouncements> announcements_;
  Tq4410PhonesOptions options_;
  std::string directory_;
  bool ownsDirectory_ = false;
  std::vector<std::unique_ptr<SimulatedTq4410>> phones_;
  std::unique_ptr<SimulatedMdmTq4410> mdmPhone_;
  std::optional<builders::SampleFirmware> normal_;
  std::optional<builders::FactorySample> factory_;
  std::optional<builders::MdmSample> mdm_;
};

}  // namespace phonesim
