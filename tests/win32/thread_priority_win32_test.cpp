#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "corvane/platform/thread_priority.h"

namespace {

TEST(ThreadPriorityWin32, TheThreadRunsAtTheIdleLevel) {
  int level = THREAD_PRIORITY_NORMAL;
  bool set = false;
  std::thread([&] {
    set = platform::RunOnlyWhenIdle();
    level = GetThreadPriority(GetCurrentThread());
  }).join();
  EXPECT_TRUE(set);
  EXPECT_EQ(level, THREAD_PRIORITY_IDLE);
}

}  // namespace
