#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Polls `done` until it holds or `limit` passes; true when it held. For conditions that another
// thread (a simulated phone, a scheduler) brings about, instead of sleeping a guessed time.
template <typename Fn>
bool WaitUntil(Fn done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support
