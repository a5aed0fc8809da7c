#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/chip_model.h"
#include "sim/personality.h"

namespace phonesim {

// A phone made of chip models: each request goes to the first chip that takes its command.
// A frame that failed its check gets no answer (the loader did not see a request); a command
// that no chip takes is refused.
class ModelPhone : public Personality {
 public:
  // Adds a chip and returns it, for the test to inspect its store later.
  template <typename Chip>
  Chip& Add(std::unique_ptr<Chip> chip) {
    Chip& ref = *chip;
    chips_.push_back(std::move(chip));
    return ref;
  }

  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  size_t RawLength(const uint8_t* data, size_t available) const override;
  Reply Answer(const Packet& request) override;
  std::string Channel(const Packet& request) const override;

 private:
  ChipModel* ChipFor(uint8_t command) const;

  std::vector<std::unique_ptr<ChipModel>> chips_;
};

}  // namespace phonesim
