#include "sim/model_phone.h"

namespace phonesim {

ChipModel* ModelPhone::ChipFor(uint8_t command) const {
  for (const auto& chip : chips_) {
    if (chip->Takes(command)) return chip.get();
  }
  return nullptr;
}

size_t ModelPhone::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.empty()) return 0;
  const ChipModel* chip = ChipFor(header[0]);
  return chip ? chip->PayloadLength(header) : 0;
}

// The boot loaders take framed requests only; a raw-request modem is its own personality.
size_t ModelPhone::RawLength(const uint8_t*, size_t) const { return kNoRaw; }

Reply ModelPhone::Answer(const Packet& request) {
  if (!request.checkOk || request.body.empty()) return Reply::None();
  ChipModel* chip = ChipFor(request.Command());
  return chip ? chip->Answer(request) : Reply::Nak();
}

std::string ModelPhone::Channel(const Packet& request) const {
  const ChipModel* chip = request.body.empty() ? nullptr : ChipFor(request.Command());
  return chip != nullptr ? chip->Channel() : "";
}

}  // namespace phonesim
