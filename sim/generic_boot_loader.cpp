#include "sim/generic_boot_loader.h"

namespace phonesim {

size_t GenericBootLoader::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.size() != kHeaderLength) return 0;
  return static_cast<size_t>(header[6]) | static_cast<size_t>(header[7]) << 8 |
         static_cast<size_t>(header[8]) << 16 | static_cast<size_t>(header[9]) << 24;
}

size_t GenericBootLoader::RawLength(const uint8_t*, size_t) const { return kNoRaw; }

Reply GenericBootLoader::Answer(const Packet& request) {
  if (!request.checkOk) return Reply::None();
  payloadBytes_ += request.payload.size();
  for (uint8_t b : request.payload) payloadCheck_ += b;
  return Reply::Ack();
}

}  // namespace phonesim
