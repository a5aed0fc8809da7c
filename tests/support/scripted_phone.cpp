#include "support/scripted_phone.h"

#include <stdexcept>
#include "corvane/platform/byte_order.h"

namespace testing_support {

void ScriptedPersonality::SetPayloadLength(PayloadFn fn) {
  std::lock_guard<std::mutex> guard(lock_);
  payloadLength_ = std::move(fn);
}

void ScriptedPersonality::SetRawLength(RawFn fn) {
  std::lock_guard<std::mutex> guard(lock_);
  rawLength_ = std::move(fn);
}

void ScriptedPersonality::SetAnswer(AnswerFn fn) {
  std::lock_guard<std::mutex> guard(lock_);
  answer_ = std::move(fn);
}

size_t ScriptedPersonality::PayloadLength(const std::vector<uint8_t>& header) const {
  std::lock_guard<std::mutex> guard(lock_);
  return payloadLength_ ? payloadLength_(header) : 0;
}

size_t ScriptedPersonality::RawLength(const uint8_t* data, size_t available) const {
  std::lock_guard<std::mutex> guard(lock_);
  return rawLength_ ? rawLength_(data, available) : kNoRaw;
}

phonesim::Reply ScriptedPersonality::Answer(const phonesim::Packet& request) {
  AnswerFn fn;
  {
    std::lock_guard<std::mutex> guard(lock_);
    fn = answer_;
  }
  if (fn) return fn(request);
  return request.checkOk ? phonesim::Reply::Ack() : phonesim::Reply::None();
}

LinkFixture::LinkFixture() {
  auto personality = std::make_unique<ScriptedPersonality>();
  script = personality.get();
  phone = std::make_unique<phonesim::Phone>(std::move(personality));
  link.SetParentHandle(&window);
  if (!link.SetComPort(phone->PortNumber())) {
    throw std::runtime_error("cannot open the simulated phone's port " + phone->Path());
  }
}

LinkFixture::~LinkFixture() {
  link.Close();
  phone->Stop();
}

std::vector<uint8_t> BootHeader(uint8_t command, uint32_t payloadLength) {
  std::vector<uint8_t> h(14, 0);
  h[0] = command;
  bytes::StoreLe32(h.data() + 6, payloadLength);
  return h;
}

}  // namespace testing_support
