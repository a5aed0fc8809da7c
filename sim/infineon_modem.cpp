#include "sim/infineon_modem.h"

#include <algorithm>
#include <array>

#include "corvane/platform/byte_order.h"
#include "sim/model_phone.h"
#include "sim/phone_control_model.h"

namespace phonesim {
namespace {

constexpr size_t kHeaderLength = 14;
constexpr size_t kBootInfoSize = 172;
constexpr size_t kStartBlockSize = 2048;
constexpr size_t kBlock2k = 2048;
constexpr size_t kBlock64k = 65536;

enum Command : uint8_t {
  kErase = 0x60,
  kWrite2k = 0x61,
  kPsiRequest = 0x62,
  kPsiImage = 0x65,
  kEblImage = 0x66,
  kCapabilities = 0x67,
  kBaud = 0x68,
  kFlashId = 0x69,
  kCfi1 = 0x6A,
  kCfi2 = 0x6B,
  kStart = 0x6C,
  kEraseAll = 0x6D,
  kEraseCheck = 0x6E,
  kEnd = 0x6F,
  kSetAddress = 0x70,
  kWrite64k = 0x71,
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return bytes::LoadLe32(b.data() + at); }

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return bytes::LoadLe16(b.data() + at); }

bool CarriesPayload(uint8_t command) {
  return command == kPsiImage || command == kEblImage || command == kFlashId || command == kStart ||
         command == kWrite2k || command == kWrite64k;
}

}  // namespace

bool InfineonModem::Takes(uint8_t command) const {
  return command == kErase || command == kWrite2k || command == kPsiRequest ||
         (command >= kPsiImage && command <= kWrite64k);
}

// A 0x61 block is always 2048 bytes on the wire, whatever its header claims (a claim that
// differs is refused after the block); the other payloads are as long as their header says.
size_t InfineonModem::PayloadLength(const std::vector<uint8_t>& header) const {
  if (header.size() < kHeaderLength || !CarriesPayload(header[0])) return 0;
  return header[0] == kWrite2k ? kBlock2k : Le32(header, 6);
}

Reply InfineonModem::Refuse(const char* why) {
  ++state_.refusals;
  state_.lastRefusal = why;
  return Reply::Nak();
}

Reply InfineonModem::Answer(const Packet& request) {
  if (request.body.size() < kHeaderLength) return Refuse("header shorter than 14 bytes");
  switch (request.Command()) {
    case kPsiRequest:
    case kPsiImage:
    case kEblImage:
      return BootStage(request);
    default:
      return state_.stage == Stage::kEbl ? Configure(request) : Refuse("the EBL is not running");
  }
}

// Boot ROM and PSI: each takes the next loader once and hands over to it.
Reply InfineonModem::BootStage(const Packet& request) {
  switch (request.Command()) {
    case kPsiRequest:
      if (state_.stage != Stage::kBootRom && state_.stage != Stage::kPsiRequested) {
        return Refuse("PSI request after the boot ROM handed over");
      }
      state_.stage = Stage::kPsiRequested;
      return Reply::Ack();
    case kPsiImage:
      if (state_.stage != Stage::kPsiRequested) return Refuse("PSI without a PSI request");
      if (request.payload.empty()) return Refuse("empty PSI");
      psi_ = request.payload;
      state_.stage = Stage::kPsi;
      return Reply::Ack();
    default:
      if (state_.stage != Stage::kPsi) return Refuse("EBL while the PSI is not running");
      if (request.payload.empty()) return Refuse("empty EBL");
      ebl_ = request.payload;
      state_.stage = Stage::kEbl;
      return Reply::Ack();
  }
}

Reply InfineonModem::Configure(const Packet& request) {
  switch (request.Command()) {
    case kCapabilities:
      state_.capabilities = true;
      return Reply::Ack();
    case kBaud:
      state_.baud = kFastBaud;
      return Reply::Ack();
    case kFlashId:
      if (request.payload.size() != kBootInfoSize) return Refuse("flash ID is not 172 bytes");
      bootInfo_ = request.payload;
      state_.flashIdSet = true;
      return Reply::Ack();
    case kCfi1:
      state_.cfi1 = true;
      return Reply::Ack();
    case kCfi2:
      state_.cfi2 = true;
      return Reply::Ack();
    default:
      // The EBL cannot drive a flash it has not been told the type of.
      return state_.flashIdSet ? Program(request) : Refuse("flash command before the flash ID");
  }
}

Reply InfineonModem::Program(const Packet& request) {
  const uint8_t command = request.Command();
  if (command == kStart) return Start(request);
  if (!state_.started) return Refuse("flash command outside a start ... end bracket");
  switch (command) {
    case kEraseAll:
      store_.EraseAll();
      ++state_.eraseAlls;
      state_.erasedSinceStart = true;
      return Reply::Ack();
    case kErase:
      // The areas are named inside the start block, in a layout the host never reads; the
      // model records the request and leaves the store as it is.
      ++state_.erases;
      state_.erasedSinceStart = true;
      return Reply::Ack();
    case kEraseCheck:
      return EraseCheck();
    case kSetAddress:
      return SetAddress(request);
    case kWrite2k:
      return Block2k(request);
    case kWrite64k:
      return Block64k(request);
    default:
      return End();
  }
}

Reply InfineonModem::Start(const Packet& request) {
  if (state_.started) return Refuse("start inside a start ... end bracket");
  if (request.payload.size() != kStartBlockSize) return Refuse("start block is not 2048 bytes");
  startBlock_ = request.payload;
  state_.started = true;
  state_.erasedSinceStart = false;
  state_.addressSet = false;
  ++state_.starts;
  return Reply::Ack();
}

Reply InfineonModem::EraseCheck() {
  if (!state_.erasedSinceStart) return Refuse("erase check without an erase");
  ++state_.eraseChecks;
  return Reply::Ack();
}

Reply InfineonModem::SetAddress(const Packet& request) {
  state_.address = Le32(request.body, 2);
  state_.addressSet = true;
  return Reply::Ack();
}

Reply InfineonModem::Block2k(const Packet& request) {
  if (!state_.addressSet) return Refuse("block before the flash address");
  const std::vector<uint8_t>& p = request.payload;
  if (p.size() != kBlock2k || Le32(request.body, 6) != kBlock2k) {
    return Refuse("0x61 block is not 2048 bytes");
  }
  const size_t n = Le16(request.body, 4);
  if (n == 0 || n > kBlock2k) return Refuse("0x61 data length out of range");
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  if (static_cast<uint16_t>(sum + n + kBlock2k + 4) != Le16(request.body, 2)) {
    return Refuse("0x61 check value");
  }
  const auto erased = [](uint8_t b) { return b == 0xFF; };
  if (!std::all_of(p.begin() + static_cast<long>(n), p.end(), erased)) {
    return Refuse("0x61 padding is not 0xFF");
  }
  ++state_.blocks2k;
  return Write(p.data(), n);
}

Reply InfineonModem::Block64k(const Packet& request) {
  if (!state_.addressSet) return Refuse("block before the flash address");
  const size_t n = request.payload.size();
  if (n == 0 || n > kBlock64k || Le32(request.body, 6) != n) {
    return Refuse("0x71 block length out of range");
  }
  ++state_.blocks64k;
  return Write(request.payload.data(), n);
}

Reply InfineonModem::End() {
  state_.started = false;
  state_.addressSet = false;
  ++state_.ends;
  return Reply::Ack();
}

Reply InfineonModem::Write(const uint8_t* data, size_t length) {
  if (!store_.Write(state_.address, data, length)) return Refuse("write beyond the flash");
  state_.address += static_cast<uint32_t>(length);
  return Reply::Ack();
}

InfineonPhone::InfineonPhone() {
  auto model = std::make_unique<ModelPhone>();
  modem_ = &model->Add(std::make_unique<InfineonModem>());
  const std::array<uint8_t, PhoneControlModel::kPidSize> pid{};
  model->Add(std::make_unique<PhoneControlModel>("TQ4410", pid));
  phone_ = std::make_unique<Phone>(std::move(model));
}

}  // namespace phonesim
