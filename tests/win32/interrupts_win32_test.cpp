#include <windows.h>

#include <gtest/gtest.h>

#include "corvane/platform/interrupts.h"

namespace {

// Ctrl-C, as the console sends it, cancels with its status and leaves the process running.
// Wine delivers it only to a program started from a terminal.
TEST(InterruptsWin32, CtrlCCancelsWithTheInterruptStatus) {
  platform::Cancellation interrupted;
  platform::RouteInterruptsTo(&interrupted);
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    platform::RouteInterruptsTo(nullptr);
    GTEST_SKIP() << "no console to send Ctrl-C through";
  }
  EXPECT_TRUE(interrupted.WaitRealMs(5000));
  EXPECT_EQ(interrupted.Reason(), platform::kInterruptStatus);
  platform::RouteInterruptsTo(nullptr);
}

}  // namespace
