#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "corvane/protocol/misc_util_comm.h"
#include "sim/phone.h"
#include "support/recording_window.h"

namespace testing_support {

// A phone personality whose sizes and answers a test sets as functions.
// The setters may be called while the phone runs.
class ScriptedPersonality : public phonesim::Personality {
 public:
  using PayloadFn = std::function<size_t(const std::vector<uint8_t>&)>;
  using RawFn = std::function<size_t(const uint8_t*, size_t)>;
  using AnswerFn = std::function<phonesim::Reply(const phonesim::Packet&)>;

  void SetPayloadLength(PayloadFn fn);
  void SetRawLength(RawFn fn);
  void SetAnswer(AnswerFn fn);

  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  size_t RawLength(const uint8_t* data, size_t available) const override;
  phonesim::Reply Answer(const phonesim::Packet& request) override;

 private:
  mutable std::mutex lock_;
  PayloadFn payloadLength_;
  RawFn rawLength_;
  AnswerFn answer_;
};

// A simulated phone on a pseudo-terminal and a host link opened on it, reporting to a recording
// window. By default the phone acknowledges every good frame and takes no raw requests.
struct LinkFixture {
  LinkFixture();
  ~LinkFixture();

  ScriptedPersonality& Script() { return *script; }

  ScriptedPersonality* script;  // owned by the phone
  std::unique_ptr<phonesim::Phone> phone;
  RecordingWindow window;
  CMiscUtilComm link;
};

// A 14-byte boot-loader header with a command code and the payload length at bytes 6..9.
std::vector<uint8_t> BootHeader(uint8_t command, uint32_t payloadLength = 0);

}  // namespace testing_support
