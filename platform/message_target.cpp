#include "corvane/platform/message_target.h"

namespace platform {

MessageTarget::MessageTarget() = default;

MessageTarget::~MessageTarget() = default;

LRESULT SendWindowMessage(MessageTarget* window, uint32_t message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr || window->IsClosed()) return 0;
  return window->HandleMessage(message, wParam, lParam);
}

}  // namespace platform
