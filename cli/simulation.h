#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/options.h"
#include "sim/builders/sample_firmware.h"
#include "sim/tq4410.h"

// --simulate: simulated TQ4410 phones attached before the run, on real pseudo-terminals that
// discovery finds like USB phones, and (when no files are given) a sample firmware set written
// to a directory of its own, against which the phones' stores are checked afterwards.
namespace cli {

class Simulation {
 public:
  // Null with `error` set when the command cannot be simulated or a phone cannot be made.
  static std::unique_ptr<Simulation> Start(const Options& options, std::string& error);
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // The device paths of the phones (the modem's current port for mdm), so that discovery sees
  // only them.
  std::set<std::string> DevicePaths() const;
  // The port a single-phone command runs on.
  uint8_t FirstPort() const;
  const std::string& Directory() const { return directory_; }

  // The sample firmware's files for the command line ("" / empty without a sample set).
  std::vector<std::string> Files() const;
  bool HasSample() const;

  struct Check {
    PhoneLabel phone;
    phonesim::Verification verification;
  };
  // Compares every phone's stores with the sample set (nothing without one).
  std::vector<Check> Verify();

 private:
  Simulation() = default;
  bool Attach(const Options& options, std::string& error);
  void WriteSample();

  Command command_ = Command::kNone;
  std::string directory_;
  std::vector<std::unique_ptr<phonesim::SimulatedTq4410>> phones_;
  std::unique_ptr<phonesim::SimulatedMdmTq4410> mdmPhone_;
  std::optional<phonesim::builders::SampleFirmware> normal_;
  std::optional<phonesim::builders::FactorySample> factory_;
  std::optional<phonesim::builders::MdmSample> mdm_;
};

}  // namespace cli
