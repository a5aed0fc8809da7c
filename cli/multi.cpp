#include "cli/multi.h"

#include <chrono>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "corvane/platform/serial_device.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

class Scheduler {
 public:
  Scheduler(const Exports& exports, const Job& job, Console& console, const MultiSettings& s)
      : exports_(exports), job_(job), console_(console), settings_(s) {}

  // Looks at least once before the idle time can end the run: "--wait 0" means "the phones
  // attached now", not "none". An interrupt starts no more phones and cancels the running ones,
  // which are then waited for like any others.
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
      if (WaitUnlessInterrupted(settings_.interrupt, settings_.pollMs)) break;
    }
    while (!workers_.empty()) {
      Reap();
      if (settings_.interrupt != nullptr && settings_.interrupt->IsCancelled()) CancelAll();
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

  void CancelAll() {
    for (auto& w : workers_) w->Cancel(settings_.interrupt->Reason());
  }

  // Collects the phones whose run ended; their ports wait to be unplugged.
  void Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
      PhoneWorker& w = **it;
      if (!w.Done()) {
        ++it;
        continue;
      }
      outcome_.results.push_back(w.Join());
      running_.erase(w.Label().path);
      finished_.insert(w.Label().path);
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
    std::erase_if(heldSaid_, [&](const std::string& path) { return !now.count(path); });
  }

  void StartNew(const std::vector<SerialPortEntry>& ready) {
    for (const SerialPortEntry& e : ready) {
      if (running_.count(e.devicePath) || finished_.count(e.devicePath)) continue;
      if (static_cast<int>(workers_.size()) >= settings_.atOnce || CountReached()) return;
      if (HeldByAnotherProgram(e)) continue;
      Start(LabelOf(e));
    }
  }

  // A port another program has open is not a phone of this run: its run could only fail to
  // open it. It is passed over (said once while it stays listed) and started once it is free.
  bool HeldByAnotherProgram(const SerialPortEntry& e) {
    if (!platform::HeldElsewhere(e.devicePath)) {
      heldSaid_.erase(e.devicePath);
      return false;
    }
    if (heldSaid_.insert(e.devicePath).second) {
      const PhoneLabel label = LabelOf(e);
      console_.Note(label.name + " (port " + std::to_string(label.number) +
                    ") is held by another program: passed over");
    }
    return true;
  }

  void Start(const PhoneLabel& label) {
    running_.insert(label.path);
    ++started_;
    workers_.push_back(std::make_unique<PhoneWorker>(exports_, job_, label, console_));
  }

  const Exports& exports_;
  const Job& job_;
  Console& console_;
  const MultiSettings& settings_;
  std::list<std::unique_ptr<PhoneWorker>> workers_;  // joined when they go
  std::set<std::string> running_;
  std::set<std::string> finished_;
  std::set<std::string> heldSaid_;  // held by another program, and said so
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
