#pragma once

#include <cstdint>
#include <stdexcept>

#include "corvane/flash/basic_flash.h"
#include "corvane/protocol/misc_util_comm.h"
#include "support/recording_window.h"

namespace testing_support {

// The host side of a test against one simulated phone: a link and a flash object, both
// reporting to one recording window.
struct HostSide {
  static constexpr uint32_t kTimeout = 300;

  ~HostSide() { link.Close(); }

  // Opens the link on the phone's port; a port that cannot be opened ends the test's set-up.
  void Open(uint8_t port, uint32_t timeoutMs = kTimeout) {
    link.SetParentHandle(&window);
    flash.SetParentHandle(&window);
    flash.SetDefaultTimeout(timeoutMs);
    if (!link.SetComPort(port)) throw std::runtime_error("cannot open the simulated phone's port");
  }

  RecordingWindow window;
  CMiscUtilComm link;
  CBasicFlash flash;
};

}  // namespace testing_support
