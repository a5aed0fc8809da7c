#include "corvane/platform/mailbox_target.h"

#include <algorithm>
#include <chrono>

namespace platform {

MailboxTarget::MailboxTarget(Handler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

MailboxTarget::~MailboxTarget() {
  CloseMailbox();
  DropPosted();
}

LRESULT MailboxTarget::HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
  if (std::this_thread::get_id() == owner_) return handler_(message, wParam, lParam);
  {
    const std::lock_guard<std::mutex> routed(routingLock_);
    if (IsClosed()) return 0;
    LRESULT answered = 0;
    if (routing_.onSender && routing_.onSender(message, wParam, lParam, answered)) return answered;
    if (routing_.post && routing_.post(message, wParam, lParam)) {
      return Post(message, wParam, lParam);
    }
    if (routing_.copy) {
      if (std::optional<Copy> copy = routing_.copy(message, wParam, lParam)) {
        return PostCopy(std::move(*copy));
      }
    }
  }
  Mail mail{message, wParam, lParam};
  std::unique_lock<std::mutex> guard(lock_);
  if (IsClosed()) return 0;
  queue_.push_back(&mail);
  wake_.Signal();
  // Close() is not ours to override (a signal handler may call it), so a plain Close is noticed
  // at the next slice; CloseMailbox wakes at once. A message whose handler already runs is
  // waited for: its text and its record live in this frame.
  while (!mail.done && (mail.taken || !IsClosed())) {
    answered_.wait_for(guard, std::chrono::milliseconds(20));
  }
  if (!mail.done) queue_.erase(std::find(queue_.begin(), queue_.end(), &mail));
  return mail.done ? mail.result : 0;
}

LRESULT MailboxTarget::Post(uint32_t message, WPARAM wParam, LPARAM lParam) {
  return Queue(new Mail{message, wParam, lParam, 0, false, false, true});
}

LRESULT MailboxTarget::PostCopy(Copy copy) {
  auto* mail = new Mail{copy.message, copy.wParam, 0, 0, false, false, true, std::move(copy.text)};
  mail->lParam = reinterpret_cast<LPARAM>(mail->text.c_str());
  return Queue(mail);
}

// Takes a posted mail; a closed mailbox drops it.
LRESULT MailboxTarget::Queue(Mail* mail) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (IsClosed()) {
    delete mail;
    return 0;
  }
  queue_.push_back(mail);
  postedWake_.Signal();
  return 1;
}

void MailboxTarget::DropPosted() {
  const std::lock_guard<std::mutex> guard(lock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    if ((*it)->posted) {
      delete *it;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
}

void MailboxTarget::Deliver() {
  wake_.Clear();
  postedWake_.Clear();
  std::unique_lock<std::mutex> guard(lock_);
  while (!IsClosed() && !queue_.empty()) {
    Mail* mail = queue_.front();
    queue_.pop_front();
    mail->taken = true;
    guard.unlock();
    const LRESULT result = handler_(mail->message, mail->wParam, mail->lParam);
    guard.lock();
    if (mail->posted) {
      delete mail;
      continue;
    }
    mail->result = result;
    mail->done = true;
    answered_.notify_all();
  }
}

void MailboxTarget::CloseMailbox() {
  {
    const std::lock_guard<std::mutex> routed(routingLock_);
    Close();
  }
  {
    const std::lock_guard<std::mutex> guard(lock_);
    answered_.notify_all();
  }
  DropPosted();
}

}  // namespace platform
