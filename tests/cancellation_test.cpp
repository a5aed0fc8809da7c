// Cancelling a run from another thread: closing the window it reports to ends its waits, pauses
// and exchanges at once, drops what it still reports, and leaves its port to its own thread.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "support/recording_window.h"

namespace {

using testing_support::RecordingWindow;

// Long enough that a wait which the cancellation did not end fails the test by its time limit.
constexpr uint32_t kAnswerWaitMs = 400000;

void CancelSoon(platform::Cancellation& cancellation, int reason) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // usually inside the wait by then
  cancellation.Cancel(reason);
}

TEST(Cancellation, ClosedTargetDropsMessagesWithoutRunningItsHandler) {
  RecordingWindow window;
  EXPECT_FALSE(window.IsClosed());
  platform::SendMessage(&window, notify::kMsgNotify, notify::kProgress, 7);
  window.Close();
  EXPECT_EQ(platform::SendMessage(&window, notify::kMsgNotify, notify::kProgress, 8), 0);
  EXPECT_EQ(window.Codes(), std::vector<platform::LPARAM>{7});
  EXPECT_EQ(platform::CancellationOf(&window), &window.Closing());
  EXPECT_TRUE(window.Closing().IsCancelled());
  EXPECT_EQ(platform::CancellationOf(nullptr), nullptr);
}

TEST(Cancellation, SleepIsCutShortAndTheFirstReasonStays) {
  platform::Cancellation cancellation;
  EXPECT_FALSE(platform::SleepMs(1, &cancellation));  // not cancelled: slept out
  EXPECT_FALSE(platform::SleepMs(1, nullptr));
  std::thread canceller(CancelSoon, std::ref(cancellation), 143);
  EXPECT_TRUE(platform::SleepMs(kAnswerWaitMs, &cancellation));
  canceller.join();
  cancellation.Cancel(130);
  EXPECT_EQ(cancellation.Reason(), 143);
  EXPECT_TRUE(platform::SleepMs(kAnswerWaitMs, &cancellation));  // cancelled already: at once
}

}  // namespace
