// A mailbox delivered on the GUI thread: posted mail arrives on its own, after every rest of the
// pace, and never behind a waiting sender's message that came after it.

#include "widgets/mailbox_delivery.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <thread>
#include <vector>

#include "support/wait.h"

namespace {

using platform::LPARAM;

TEST(MailDelivery, PostedMailArrivesInOrderWithWaitingSendersAndAfterEveryRest) {
  std::vector<LPARAM> seen;
  platform::MailboxTarget box([&](uint32_t, platform::WPARAM, LPARAM l) {
    seen.push_back(l);
    return platform::LRESULT{7};
  });
  platform::MailboxTarget::Routing routing;
  routing.post = [](uint32_t, platform::WPARAM w, LPARAM) { return w == 1; };
  box.SetRouting(routing);
  QObject window;
  widgets::DeliverMailOnGuiThread(box, &window);
  const auto seenCount = [&](size_t n) {
    return testing_support::WaitUntil([&] {
      QApplication::processEvents();
      return seen.size() == n;
    });
  };

  std::thread([&] { platform::SendWindowMessage(&box, 0, 1, 10); }).join();
  ASSERT_TRUE(seenCount(1));  // no sender waits, yet the position arrives
  platform::LRESULT answered = 0;
  std::thread sender([&] {
    platform::SendWindowMessage(&box, 0, 1, 20);
    answered = platform::SendWindowMessage(&box, 0, 2, 30);
  });
  ASSERT_TRUE(seenCount(3));
  sender.join();
  EXPECT_EQ(answered, 7);
  std::thread([&] { platform::SendWindowMessage(&box, 0, 1, 40); }).join();
  ASSERT_TRUE(seenCount(4));  // the posted notifier woke again after its rest
  EXPECT_EQ(seen, (std::vector<LPARAM>{10, 20, 30, 40}));
}

}  // namespace
