#include "host/worker_end.h"

#include <atomic>

namespace {

std::atomic<int> g_abandoned{0};

}  // namespace

void WorkerEnd::Ended() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    done_ = true;
    if (abandoned_) g_abandoned.fetch_sub(1);
  }
  ended_.notify_all();
}

bool WorkerEnd::WaitOrAbandon(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> guard(lock_);
  if (ended_.wait_for(guard, limit, [this] { return done_; })) return true;
  abandoned_ = true;
  g_abandoned.fetch_add(1);
  return false;
}

int WorkerEnd::Abandoned() { return g_abandoned.load(); }
