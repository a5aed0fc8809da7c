#pragma once

#include <memory>
#include <string>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"

// While a window runs workers, a message box raised on any thread reaches the hook that was in
// place before, on the window's own thread, through the window's mailbox: a worker never waits
// on a queued call of the toolkit, and once the mailbox is closed a box is dropped (to stderr)
// instead of blocking the worker that the window is waiting for.
class MessageBoxRelay {
 public:
  // The message the relay sends through the mailbox; the window's handler passes it to Handle.
  static constexpr uint32_t kMessage = notify::kMsgRelayMessageBox;

  explicit MessageBoxRelay(std::shared_ptr<platform::MailboxTarget> mailbox);
  // Puts the previous hook back.
  ~MessageBoxRelay();
  MessageBoxRelay(const MessageBoxRelay&) = delete;
  MessageBoxRelay& operator=(const MessageBoxRelay&) = delete;

  // Shows the box behind `lParam` of kMessage; on the mailbox's thread.
  void Handle(platform::LPARAM lParam) const;

 private:
  platform::MessageBoxHook previous_;
};
