#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "corvane/platform/message_box.h"

namespace testing_support {

// Records the texts of the message boxes shown while it lives (from any thread), and puts the
// hook that was installed before it back when it goes.
class MessageBoxes {
 public:
  MessageBoxes()
      : previous_(platform::SetMessageBoxHook([this](const std::string& text, const std::string&) {
          std::lock_guard<std::mutex> guard(lock_);
          texts_.push_back(text);
        })) {}
  ~MessageBoxes() { platform::SetMessageBoxHook(previous_); }
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;

  std::vector<std::string> Texts() const {
    std::lock_guard<std::mutex> guard(lock_);
    return texts_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> texts_;
  platform::MessageBoxHook previous_;
};

}  // namespace testing_support
