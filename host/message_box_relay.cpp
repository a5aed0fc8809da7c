#include "host/message_box_relay.h"

#include <cstdio>

namespace {

struct Box {
  const std::string& text;
  const std::string& caption;
};

}  // namespace

MessageBoxRelay::MessageBoxRelay(std::shared_ptr<platform::MailboxTarget> mailbox) {
  previous_ = platform::SetMessageBoxHook(
      [mailbox = std::move(mailbox)](const std::string& text, const std::string& caption) {
        const Box box{text, caption};
        if (platform::SendWindowMessage(mailbox.get(), kMessage, 0,
                                        reinterpret_cast<platform::LPARAM>(&box)) == 0) {
          std::fprintf(stderr, "[message] %s\n", text.c_str());
        }
      });
}

MessageBoxRelay::~MessageBoxRelay() { platform::SetMessageBoxHook(std::move(previous_)); }

void MessageBoxRelay::Handle(platform::LPARAM lParam) const {
  const Box& box = *reinterpret_cast<const Box*>(lParam);
  if (previous_) {
    previous_(box.text, box.caption);
  } else {
    std::fprintf(stderr, "[message] %s\n", box.text.c_str());
  }
}
