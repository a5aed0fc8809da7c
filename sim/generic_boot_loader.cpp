#include "sim/generic_boot_loader.h"
#include "corvane/platform/byte_order.h"

namespace phonesim {

size_t GenericBootLoader::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.size() != kHeaderLength) return 0;
  return bytes::LoadLe32(header.data() + 6);
}

size_t GenericBootLoader::RawLength(const uint8_t*, size_t) const { return kNoRaw; }

Reply GenericBootLoader::Answer(const Packet& request) {
  if (!request.checkOk) return Reply::None();
  payloadBytes_ += request.payload.size();
  for (uint8_t b : request.payload) payloadCheck_ += b;
  return Reply::Ack();
}

}  // namespace phonesim
