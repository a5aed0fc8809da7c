#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/flash_store.h"
#include "sim/phone.h"

namespace phonesim {

// A phone with a Qualcomm modem, as the host sees it over USB: first the modem's diagnostic port
// (DIAG); after "enter download mode" the port goes away and a new one appears in download mode
// (DLOAD) with the NAND programming commands; a DLOAD reset brings the diagnostic port back, and
// switching the USB link to the application processor (0x60) brings up that processor's boot
// loader instead. Every appearance is a new pseudo-terminal, published for port discovery.
class QualcommHandset {
 public:
  enum class Mode { kDiag, kDload, kApLoader, kGone };

  static constexpr uint32_t kNandBlockSize = 135168;  // 64 pages of 2112 bytes

  struct Options {
    uint32_t reenumerateDelayMs = 300;  // clock milliseconds between leaving and coming back
    uint64_t nandCapacity = 64ull * kNandBlockSize * 64;
    Mode initialMode = Mode::kDiag;
    PortIdentity diagPort{"Zelco CDMA USB Modem", 0x1d6b, 0x0104, 0};
    PortIdentity dloadPort{"Qualcomm HS-USB Diagnostics 9008", 0x05c6, 0x9008, 0};
    PortIdentity apPort{"Zelco Mobile USB Serial Port", 0x1d6b, 0x0105, 0};
    // Where the phone is plugged in: every port it comes up on is there ({} unknown).
    UsbLocation usb = NextUsbLocation();
    // The application processor's boot loader (a generic one when empty).
    std::function<std::unique_ptr<Personality>()> apLoader;
  };

  // What the modem's download mode went through, for tests.
  struct DloadState {
    bool rawMode = false;
    std::vector<std::pair<uint32_t, uint32_t>> erases;  // first and end block
    std::vector<uint32_t> inits;
    int finalizes = 0;
    std::vector<std::pair<uint32_t, uint32_t>> commits;  // NAND address and length
    std::vector<size_t> chunks;                          // data request lengths
  };

  explicit QualcommHandset(Options options);
  ~QualcommHandset();
  QualcommHandset(const QualcommHandset&) = delete;
  QualcommHandset& operator=(const QualcommHandset&) = delete;

  Mode CurrentMode() const;
  // The port of the current appearance (0 while re-enumerating or gone).
  uint8_t CurrentPort() const;
  // How many times the phone has appeared on a port.
  int Appearances() const;
  // Waits (real time) until the phone is on a port in `mode`; false on time-out.
  bool WaitForMode(Mode mode, int timeoutMs) const;

  // Arms a fault on the phone of `mode`, now if it is on that port, else when it appears.
  void InjectFault(Mode mode, const Fault& fault);
  // Makes the phone leave its port now and never come back.
  void Unplug();
  // The next time the phone would come up in `mode` it stays away instead (a phone that does
  // not survive its reset or its USB switch).
  void NeverReturnAs(Mode mode);

  // Runs `fn` on the personality of the current port while it handles no request; false (and
  // `fn` not run) while the phone is on no port.
  bool WithCurrentPersonality(const std::function<void(Personality&)>& fn);

  // Runs `fn` on the NAND store and the download-mode record while nothing else touches them.
  void Inspect(const std::function<void(const FlashStore&, const DloadState&)>& fn) const;

 private:
  class Diag;
  class Dload;
  friend class Diag;
  friend class Dload;

  void Appear(Mode mode);
  void OnLeave(uint64_t generation);
  void Reenumerate();
  std::unique_ptr<Personality> PersonalityFor(Mode mode);
  PortIdentity IdentityFor(Mode mode) const;

  Options options_;
  // Lock order: lock_, then a phone's own lock, then stateLock_. The phone's personalities run
  // under the phone's lock and take only stateLock_.
  mutable std::mutex lock_;  // the current port and the re-enumeration
  mutable std::condition_variable changed_;
  mutable std::mutex stateLock_;  // what the modem stores and remembers
  FlashStore nand_;
  DloadState dload_;
  Mode nextMode_ = Mode::kGone;  // where the current port leads when the phone leaves it
  Mode mode_ = Mode::kGone;
  std::unique_ptr<Phone> phone_;
  std::map<Mode, std::vector<Fault>> faults_;
  Mode refused_ = Mode::kGone;  // the mode the phone will not come back in
  uint64_t generation_ = 0;
  int appearances_ = 0;
  bool leaving_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace phonesim
