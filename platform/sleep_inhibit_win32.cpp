// Keeping the system awake on Windows: SetThreadExecutionState with ES_SYSTEM_REQUIRED, which
// keeps the system from sleeping when idle. That state belongs to the thread that set it and
// ends with it, while holds may be taken and let go on any thread: one keeper thread sets and
// clears it for all of them, awake while any hold lives. (Power requests would need no thread,
// but Wine does not have them.) Windows lets no program refuse a sleep the user asks for.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "corvane/platform/sleep_inhibit.h"
#include "platform/utf16_win32.h"

namespace platform {
namespace {

class Keeper {
 public:
  // True once the system is kept awake for one more hold; else why not.
  bool Take(std::string& problem) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!started_) {
      // Never joined: it waits for holds until the process ends, and an exiting program (or a
      // library being unloaded) must not wait for it.
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    ++holds_;
    wake_.notify_all();
    done_.wait(guard, [this] { return applied_ == (holds_ > 0); });
    if (awake_) return true;
    --holds_;
    problem = problem_;
    return false;
  }

  void Release() {
    std::lock_guard<std::mutex> guard(lock_);
    if (--holds_ == 0) wake_.notify_all();
  }

 private:
  // Applies every change between no hold and some holds, and says when it has.
  void Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      wake_.wait(guard, [this] { return applied_ != (holds_ > 0); });
      const bool want = holds_ > 0;
      const EXECUTION_STATE flags = want ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
      const bool set = SetThreadExecutionState(flags) != 0;
      awake_ = want && set;
      if (want && !set) problem_ = "the system refused: " + SystemMessage(GetLastError());
      applied_ = want;
      done_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;  // the keeper waits for a change in holds
  std::condition_variable done_;  // a taker waits for the keeper to have applied it
  bool started_ = false;
  int holds_ = 0;
  bool applied_ = false;  // the keeper has acted on holds_ > 0
  bool awake_ = false;    // and the system took it
  std::string problem_;
};

// Never destroyed, so that its thread never outlives it.
Keeper& TheKeeper() {
  static Keeper* keeper = new Keeper();
  return *keeper;
}

}  // namespace

SleepInhibit::SleepInhibit(const std::string& why) {
  (void)why;  // the execution state carries no reason
  if (TheKeeper().Take(problem_)) handle_ = 0;
}

SleepInhibit::~SleepInhibit() {
  if (handle_ >= 0) TheKeeper().Release();
}

}  // namespace platform
