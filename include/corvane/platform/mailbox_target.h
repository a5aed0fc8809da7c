#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/wake_event.h"

// A window for a run on a worker thread whose handler must run on the window's own (GUI)
// thread. A send from another thread is queued, the GUI's event loop is woken through
// WakeHandle(), and the sender waits until Deliver() on the GUI thread has run the handler and
// stored its result, which it then returns. The sender's text stays valid meanwhile, since it
// is still inside SendWindowMessage.
//
// Two kinds of message need not wait for the GUI thread, and a run of thousands of blocks should
// not pay a thread hand-over for each: those a thread-safe handler can answer on the sender's
// own thread (counting a step notice, ignoring a line), and those that carry only values (a
// progress code), which are queued in order and answered 1 at once. A text, which is the sender's
// only during the call, may be posted as a copy in the same way. Routing says which. Posted
// mail has a wake event of its own: a waiting sender wakes the GUI thread at once, while posted
// mail may wait for the GUI's own pace (each wake-up takes a processor from the worker and the
// phone just when the next block is due).
//
// Closed (CloseMailbox, or Close from anywhere), a send returns 0 without running the handler,
// so a worker can never hang on a window that is going away. The GUI thread's toolkit is not
// instrumented by the thread sanitizer, so the hand-over is this mutex and condition variable,
// never a queued call of the toolkit.
namespace platform {

class CORVANE_API MailboxTarget : public MessageTarget {
 public:
  using Handler = std::function<LRESULT(uint32_t, WPARAM, LPARAM)>;
  // What a routing posts in place of a message whose text it copied: the handler gets the
  // copy's address as lParam.
  struct Copy {
    uint32_t message;
    WPARAM wParam;
    std::string text;
  };
  struct Routing {
    // Runs on the sender's thread first; true when it has answered the message (in `result`).
    std::function<bool(uint32_t, WPARAM, LPARAM, LRESULT& result)> onSender;
    // True for a message of values only: queued for the handler, answered 1 at once.
    std::function<bool(uint32_t, WPARAM, LPARAM)> post;
    // A copy to post instead of the message (answered 1 at once), or nothing.
    std::function<std::optional<Copy>(uint32_t, WPARAM, LPARAM)> copy;
  };

  // The constructing thread is the delivering thread: its own sends run the handler at once.
  explicit MailboxTarget(Handler handler);
  ~MailboxTarget() override;
  // Set before any other thread sends.
  void SetRouting(Routing routing) { routing_ = std::move(routing); }

  LRESULT HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam) override;

  // Runs every queued message's handler on the calling thread (the delivering thread).
  void Deliver();
  // Readable while a sender waits for its message's handler.
  intptr_t WakeHandle() const noexcept { return wake_.Handle(); }
  // Readable while posted mail waits. Deliver() takes it too, in order with the rest.
  intptr_t PostedWakeHandle() const noexcept { return postedWake_.Handle(); }
  // Close() and wake every waiting sender at once (a plain Close is seen within a few ms). Once
  // it returns, no routing function runs again: what they touch may go with the window, while
  // a sender that does not stop may keep the mailbox itself alive.
  void CloseMailbox();

 private:
  struct Mail {
    uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool taken = false;  // the delivering thread is running its handler
    bool done = false;
    bool posted = false;  // owned by the queue; nobody waits for it
    std::string text{};   // a posted copy's text, which lParam points to
  };

  LRESULT Post(uint32_t message, WPARAM wParam, LPARAM lParam);
  LRESULT PostCopy(Copy copy);
  LRESULT Queue(Mail* mail);
  void DropPosted();

  Handler handler_;
  Routing routing_;
  std::mutex routingLock_;  // held while a routing function runs, and by CloseMailbox
  std::thread::id owner_;
  WakeEvent wake_;
  WakeEvent postedWake_;
  std::mutex lock_;
  std::condition_variable answered_;
  std::deque<Mail*> queue_;
};

}  // namespace platform
