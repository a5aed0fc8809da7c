// The Win32 cancellation: an event that waits watch beside a device, set once for good.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "corvane/platform/cancellation.h"

namespace {

using Steady = std::chrono::steady_clock;

long long MsSince(Steady::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

bool IsSet(intptr_t handle) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0) == WAIT_OBJECT_0;
}

TEST(CancellationWin32, CancelFromAnotherThreadEndsAWaitOfMinutesAndSetsTheHandle) {
  platform::Cancellation cancellation;
  ASSERT_NE(cancellation.WakeHandle(), -1);
  EXPECT_FALSE(IsSet(cancellation.WakeHandle()));
  const auto start = Steady::now();
  EXPECT_FALSE(cancellation.WaitRealMs(50));  // not cancelled: waited out
  EXPECT_GE(MsSince(start), 50);

  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancellation.Cancel(143);
  });
  const auto cancelled = Steady::now();
  EXPECT_TRUE(cancellation.WaitRealMs(300000));
  EXPECT_LT(MsSince(cancelled), 2000);
  canceller.join();
  cancellation.Cancel(130);
  EXPECT_EQ(cancellation.Reason(), 143);
  EXPECT_TRUE(IsSet(cancellation.WakeHandle()));
  EXPECT_TRUE(IsSet(cancellation.WakeHandle()));  // for every later wait too
}

}  // namespace
