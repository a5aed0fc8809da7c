#include "sim/phone_control_model.h"

#include <algorithm>

namespace phonesim {
namespace {

constexpr uint8_t kNormalReset = 0x22;
constexpr uint8_t kPreReset = 0x24;
constexpr uint8_t kCpUsbSwitch = 0x25;
constexpr uint8_t kFactoryInfo = 0x72;
constexpr uint8_t kComplete = 0x89;

Reply AckThenLeave() {
  Reply r = Reply::Ack();
  r.leave = true;
  return r;
}

}  // namespace

bool PhoneControlModel::Takes(uint8_t command) const {
  return command == kNormalReset || command == kPreReset || command == kCpUsbSwitch ||
         command == kFactoryInfo || command == kComplete;
}

Reply PhoneControlModel::Answer(const Packet& request) {
  switch (request.Command()) {
    case kNormalReset:
      ++resets_;
      return AckThenLeave();
    case kPreReset:
      ++preResets_;
      return Reply::Ack();
    case kCpUsbSwitch:
      ++cpSwitches_;
      return AckThenLeave();
    case kFactoryInfo:
      return FactoryInfo();
    case kComplete:
      ++completions_;
      return Reply::Ack();
    default:
      return Reply::Nak();
  }
}

// The answer repeats the command byte, then the zero-terminated model name from byte 1 and the
// PID block from byte 16.
Reply PhoneControlModel::FactoryInfo() const {
  std::vector<uint8_t> body(kPidOffset + kPidSize, 0);
  body[0] = kFactoryInfo;
  const size_t nameLength = std::min(modelName_.size(), kPidOffset - 2);
  std::copy_n(modelName_.begin(), nameLength, body.begin() + 1);
  std::copy(pid_.begin(), pid_.end(), body.begin() + kPidOffset);
  return Reply::Frame(std::move(body));
}

}  // namespace phonesim
