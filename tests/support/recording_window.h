#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_target.h"

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

  std::vector<Message> Messages() const;
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
};

}  // namespace testing_support
