#include "cli/multi.h"

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
  PhoneLabel label;
  std::atomic<bool> done{false};
  PhoneResult result;
  std::thread thread;
};

class Scheduler {
 public:
  Scheduler(const Exports& exports, const Job& job, Console& console, const MultiSettings& s)
      : exports_(exports), job_(job), console_(console), settings_(s) {}

  ~Scheduler() {
    for (auto& w : workers_) {
      if (w->thread.joinable()) w->thread.join();
    }
  }

  // Looks at least once before the idle time can end the run: "--wait 0" means "the phones
  // attached now", not "none".
  MultiOutcome Run(PortWatcher& watcher) {
    lastActivity_ = Clock::now();
    for (;;) {
      Reap();
      if (CountDone()) break;
      const PortPoll poll = watcher.Poll();
      Forget(poll.present);
      StartNew(poll.ready);
      if (!workers_.empty()) lastActivity_ = Clock::now();
      if (Finished()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(settings_.pollMs));
    }
    while (!workers_.empty()) {
      Reap();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return outcome_;
  }

 private:
  bool CountReached() const { return settings_.count > 0 && started_ >= settings_.count; }

  bool CountDone() const {
    return settings_.count > 0 && static_cast<int>(outcome_.results.size()) >= settings_.count;
  }

  bool Finished() const {
    if (CountDone()) return true;
    if (!workers_.empty() || !settings_.idleMs) return false;
    return Clock::now() - lastActivity_ >= std::chrono::milliseconds(*settings_.idleMs);
  }

  // Collects the phones whose run ended; their ports wait to be unplugged.
  void Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
      Worker& w = **it;
      if (!w.done.load(std::memory_order_acquire)) {
        ++it;
        continue;
      }
      w.thread.join();
      outcome_.results.push_back(w.result);
      running_.erase(w.label.path);
      finished_.insert(w.label.path);
      lastActivity_ = Clock::now();
      it = workers_.erase(it);
    }
  }

  // A finished port that discovery no longer lists has been unplugged: the next phone on it
  // is a new one.
  void Forget(const std::vector<SerialPortEntry>& present) {
    std::set<std::string> now;
    for (const SerialPortEntry& e : present) now.insert(e.devicePath);
    std::erase_if(finished_, [&](const std::string& path) { return !now.count(path); });
  }

  void StartNew(const std::vector<SerialPortEntry>& ready) {
    for (const SerialPortEntry& e : ready) {
      if (running_.count(e.devicePath) || finished_.count(e.devicePath)) continue;
      if (static_cast<int>(workers_.size()) >= settings_.atOnce || CountReached()) return;
      Start(LabelOf(e));
    }
  }

  void Start(const PhoneLabel& label) {
    auto worker = std::make_unique<Worker>();
    worker->label = label;
    Worker* w = worker.get();
    running_.insert(label.path);
    ++started_;
    w->thread = std::thread([this, w] {
      w->result = RunPhone(exports_, job_, w->label, console_);
      w->done.store(true, std::memory_order_release);
    });
    workers_.push_back(std::move(worker));
  }

  const Exports& exports_;
  const Job& job_;
  Console& console_;
  const MultiSettings& settings_;
  std::list<std::unique_ptr<Worker>> workers_;
  std::set<std::string> running_;
  std::set<std::string> finished_;
  int started_ = 0;
  Clock::time_point lastActivity_;
  MultiOutcome outcome_;
};

}  // namespace

MultiOutcome RunMulti(const Exports& exports, const Job& job, Console& console,
                      PortWatcher& watcher, const MultiSettings& settings) {
  Scheduler scheduler(exports, job, console, settings);
  return scheduler.Run(watcher);
}

}  // namespace cli
