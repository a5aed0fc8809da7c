#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/chip_model.h"

namespace phonesim {

// The commands every loader of the phone shares: reset (0x22, the phone then leaves the link),
// pre-reset (0x24), switching the USB link to the CP (0x25, the phone leaves the link), factory
// information (0x72) and the final synchronisation (0x89).
class PhoneControlModel : public ChipModel {
 public:
  static constexpr size_t kPidOffset = 16;
  static constexpr size_t kPidSize = 64;

  PhoneControlModel(std::string modelName, std::array<uint8_t, kPidSize> pid)
      : modelName_(std::move(modelName)), pid_(pid) {}

  bool Takes(uint8_t command) const override;
  size_t PayloadLength(const std::vector<uint8_t>&) const override { return 0; }
  Reply Answer(const Packet& request) override;
  const char* Channel() const override { return "control"; }

  int Resets() const { return resets_; }
  int PreResets() const { return preResets_; }
  int CpSwitches() const { return cpSwitches_; }
  int Completions() const { return completions_; }

 private:
  Reply FactoryInfo() const;

  std::string modelName_;
  std::array<uint8_t, kPidSize> pid_;
  int resets_ = 0;
  int preResets_ = 0;
  int cpSwitches_ = 0;
  int completions_ = 0;
};

}  // namespace phonesim
