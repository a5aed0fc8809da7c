#include <gtest/gtest.h>

#include "corvane/platform/pseudo_terminal.h"
#include "host/simulation.h"

namespace {

// No pseudo-terminals: --simulate is refused with the reason and the way out, before any module
// is looked for.
TEST(PseudoTerminalWin32, SimulatedPhonesAreRefusedWithTheReason) {
  std::string error;
  EXPECT_FALSE(platform::PseudoTerminal::Create(&error));
  EXPECT_NE(error.find("pseudo-terminals"), std::string::npos) << error;
  EXPECT_NE(error.find("COM port"), std::string::npos) << error;

  simulation::Attached::Failure failure = simulation::Attached::Failure::kNone;
  const simulation::SimulationRequest request;
  EXPECT_FALSE(simulation::Attached::Attach("C:\\no-such-directory", request, failure, error));
  EXPECT_EQ(failure, simulation::Attached::Failure::kUnsupported);
  EXPECT_EQ(error, "--simulate: " + platform::PseudoTerminal::Unavailable());
}

}  // namespace
