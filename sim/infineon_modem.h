#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/chip_model.h"
#include "sim/flash_store.h"
#include "sim/phone.h"

namespace phonesim {

// An Infineon baseband from power-on: the boot ROM takes the PSI request (0x62) and the PSI
// (0x65), the PSI takes the EBL (0x66), and the EBL takes its configuration (capabilities 0x67,
// baud 0x68, flash ID 0x69 with 172 bytes, CFI 0x6A/0x6B) and then programs a NOR flash inside
// start (0x6C, 2048 bytes) ... end (0x6F) brackets: erase all 0x6D, erase 0x60, erase check
// 0x6E, flash address 0x70 (bytes 2..5), blocks 0x61 (always 2048 bytes, data length at 4..5,
// check value at 2..3) and 0x71 (up to 64 KiB). Every block is written at the flash address,
// which then advances.
//
// Each stage acknowledges with 0x50 and refuses (0x51) whatever is malformed or out of order:
// a request for a stage that is not running, a block before start and address, a wrong check
// value or padding, a wrong payload length, a write beyond the flash.
class InfineonModem : public ChipModel {
 public:
  static constexpr uint64_t kFlashSize = 64ull << 20;
  static constexpr uint32_t kLineBaud = 115200;
  static constexpr uint32_t kFastBaud = 3000000;

  enum class Stage { kBootRom, kPsiRequested, kPsi, kEbl };

  // What a test can ask about the modem.
  struct Summary {
    Stage stage = Stage::kBootRom;
    bool capabilities = false;
    uint32_t baud = kLineBaud;
    bool flashIdSet = false;
    bool cfi1 = false;
    bool cfi2 = false;
    bool started = false;           // inside a start ... end bracket
    bool erasedSinceStart = false;  // an erase ran in this bracket
    bool addressSet = false;        // blocks may follow
    uint32_t address = 0;           // where the next block goes
    unsigned starts = 0;
    unsigned eraseAlls = 0;
    unsigned erases = 0;
    unsigned eraseChecks = 0;
    unsigned ends = 0;
    uint64_t blocks2k = 0;
    uint64_t blocks64k = 0;
    unsigned refusals = 0;
    std::string lastRefusal;  // why the last refused request was refused
  };

  explicit InfineonModem(uint64_t flashSize = kFlashSize) : store_(flashSize, 0xFF) {}

  bool Takes(uint8_t command) const override;
  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  Reply Answer(const Packet& request) override;
  const char* Channel() const override { return "modem"; }

  const Summary& State() const { return state_; }
  const FlashStore& Store() const { return store_; }
  const std::vector<uint8_t>& Psi() const { return psi_; }
  const std::vector<uint8_t>& Ebl() const { return ebl_; }
  const std::vector<uint8_t>& BootInfo() const { return bootInfo_; }
  const std::vector<uint8_t>& StartBlock() const { return startBlock_; }  // the last one

 private:
  Reply Refuse(const char* why);
  Reply BootStage(const Packet& request);
  Reply Configure(const Packet& request);
  Reply Program(const Packet& request);
  Reply Start(const Packet& request);
  Reply EraseCheck();
  Reply SetAddress(const Packet& request);
  Reply Block2k(const Packet& request);
  Reply Block64k(const Packet& request);
  Reply End();
  Reply Write(const uint8_t* data, size_t length);

  FlashStore store_;
  Summary state_;
  std::vector<uint8_t> psi_;
  std::vector<uint8_t> ebl_;
  std::vector<uint8_t> bootInfo_;
  std::vector<uint8_t> startBlock_;
};

// A phone with an Infineon modem and the commands every loader shares (PhoneControlModel), on
// its own pseudo-terminal. The modem lives on the phone's thread: read it through Inspect.
class InfineonPhone {
 public:
  InfineonPhone();

  Phone& Device() { return *phone_; }
  const Phone& Device() const { return *phone_; }
  uint8_t PortNumber() const { return phone_->PortNumber(); }

  // Runs `fn` on the modem while the phone handles no request, and returns what it returns.
  template <typename Fn>
  auto Inspect(Fn&& fn) {
    using Result = std::invoke_result_t<Fn&, const InfineonModem&>;
    std::optional<Result> result;
    phone_->WithPersonality([&](Personality&) { result.emplace(fn(*modem_)); });
    return std::move(*result);
  }

 private:
  InfineonModem* modem_ = nullptr;
  std::unique_ptr<Phone> phone_;
};

}  // namespace phonesim
