// The Win32 wake event: level-triggered, as an event loop watching it beside others needs.

#include <windows.h>

#include <gtest/gtest.h>

#include "corvane/platform/wake_event.h"

namespace {

bool IsSet(intptr_t handle) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0) == WAIT_OBJECT_0;
}

TEST(WakeEventWin32, ASignalStaysSeenUntilClearedAndIsSeenAgainAfter) {
  platform::WakeEvent wake;
  ASSERT_NE(wake.Handle(), -1);
  EXPECT_FALSE(IsSet(wake.Handle()));
  wake.Signal();
  wake.Signal();
  EXPECT_TRUE(IsSet(wake.Handle()));
  EXPECT_TRUE(IsSet(wake.Handle()));  // level-triggered: a look does not consume it
  wake.Clear();
  EXPECT_FALSE(IsSet(wake.Handle()));
  wake.Clear();  // clear already: harmless
  wake.Signal();
  EXPECT_TRUE(IsSet(wake.Handle()));
}

}  // namespace
