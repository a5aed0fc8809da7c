// Cancelling a run from another thread: closing the window it reports to ends its waits, pauses
// and exchanges at once, drops what it still reports, and leaves its port to its own thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "support/scripted_phone.h"
#include "support/wait.h"

namespace {

using testing_support::BootHeader;
using testing_support::LinkFixture;
using testing_support::RecordingWindow;
using testing_support::WaitUntil;

// Long enough that a wait which the cancellation did not end fails the test by its time limit.
constexpr uint32_t kAnswerWaitMs = 400000;

void CancelSoon(platform::Cancellation& cancellation, int reason) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // usually inside the wait by then
  cancellation.Cancel(reason);
}

TEST(Cancellation, ClosedTargetDropsMessagesWithoutRunningItsHandler) {
  RecordingWindow window;
  EXPECT_FALSE(window.IsClosed());
  platform::SendWindowMessage(&window, notify::kMsgNotify, notify::kProgress, 7);
  window.Close();
  EXPECT_EQ(platform::SendWindowMessage(&window, notify::kMsgNotify, notify::kProgress, 8), 0);
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

// The worker waits for an answer that a silent phone never sends; the window is closed by
// another thread, as a host's window is when the user closes it.
TEST(Cancellation, ClosingTheWindowEndsTheLinksWaitAndLeavesThePortToTheWorker) {
  LinkFixture f;
  f.phone->InjectFault({.kind = phonesim::FaultKind::kSilent});  // to the first request
  const std::vector<uint8_t> header = BootHeader(0x6C);
  std::atomic<bool> returned{false};
  int first = -1;
  int later = -1;
  int openWhenReturned = -1;
  std::thread worker([&] {
    first = f.link.AsyncTxRxEx(header.data(), nullptr, header.size(), kAnswerWaitMs);
    openWhenReturned = f.link.GetOpenFlag();
    returned = true;
    later = f.link.AsyncTxRxEx(header.data(), nullptr, header.size(), kAnswerWaitMs);
    f.link.Close();  // the worker's own failure path
  });
  ASSERT_TRUE(WaitUntil([&] { return f.phone->Requests().size() == 1; }));
  f.window.Close();
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(first, kTxFail);
  EXPECT_EQ(openWhenReturned, 1);  // closing the window closed no descriptor under the worker
  EXPECT_EQ(later, kTxFail);
  EXPECT_EQ(f.phone->Requests().size(), 1u);  // nothing more went out once cancelled
  EXPECT_TRUE(f.window.Texts().empty());      // "Timeout error" went nowhere: the window closed
  EXPECT_EQ(f.link.GetOpenFlag(), 0);
}

}  // namespace
