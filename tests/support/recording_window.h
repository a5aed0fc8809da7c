#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/platform/message_target.h"
#include "corvane/platform/notify.h"

namespace testing_support {

// A window that records every message it is sent, copying texts as a real window must.
class RecordingWindow : public platform::MessageTarget {
 public:
  struct Message {
    uint32_t message;
    platform::WPARAM wParam;
    platform::LPARAM value;  // numeric parameter (0 for texts)
    std::string text;        // copied text: status and file lines, model name, 64-byte PID block
  };

  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override;

  // A step notice as it was sent; `name` and `sha256` copied, the notice's pointers no longer
  // valid.
  struct Step {
    notify::StepNotice notice;
    std::string name;
    std::string sha256;
  };

  std::vector<Message> Messages() const;
  // The step notices, in order.
  std::vector<Step> Steps() const;
  // Each step as it ended: "<kind> <file index> <name> <done>/<planned> ok|failed".
  std::vector<std::string> StepEnds() const;
  // Each step's digest as it ended: "<name> <sha256> <bytes hashed> whole|partial".
  std::vector<std::string> DigestEnds() const;
  // The status lines, in order.
  std::vector<std::string> Texts() const;
  // The progress and phase codes, in order.
  std::vector<platform::LPARAM> Codes() const;
  // Status lines and codes interleaved as sent; a code appears as "#<code>".
  std::vector<std::string> Log() const;
  // Status lines and progress codes only, a code as "[<code>]".
  std::vector<std::string> Events() const;
  void Clear();

 private:
  mutable std::mutex lock_;
  std::vector<Message> messages_;
  std::vector<Step> steps_;
};

}  // namespace testing_support
