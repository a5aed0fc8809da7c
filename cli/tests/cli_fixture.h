#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "sim/builders/sample_firmware.h"
#include "sim/tq4410.h"
#include "support/discovery_sandbox.h"
#include "support/temp_dir.h"

namespace cli_testing {

// A firmware set small enough for many runs: every kind of file, a few hundred kilobytes.
inline phonesim::builders::SampleFirmwareOptions SmallFirmware() {
  phonesim::builders::SampleFirmwareOptions o;
  o.bootBytes = 70000 + 17;
  o.recoveryBytes = 20000 + 3;
  o.systemBytes = 600000 + 5;  // more than one 512 KiB block
  o.modemCodeBytes = 40000;
  return o;
}

// Discovery that sees only the test's phones, a directory for files, and a firmware set in it.
class CliFixture : public ::testing::Test {
 protected:
  CliFixture()
      : firmware(phonesim::builders::SampleFirmware::Write(dir.Path().string(), SmallFirmware())) {}

  // The command line: `head`, then every file of the set.
  std::vector<std::string> WithFiles(std::vector<std::string> head) const {
    for (const std::string& f : firmware.Files()) head.push_back(f);
    return head;
  }

  static std::string Port(const phonesim::SimulatedTq4410& phone) {
    return std::to_string(phone.PortNumber());
  }

  testing_support::DiscoverySandbox sandbox;
  testing_support::TempDir dir;
  phonesim::builders::SampleFirmware firmware;
};

}  // namespace cli_testing
