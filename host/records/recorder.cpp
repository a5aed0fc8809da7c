#include "host/records/recorder.h"

#include "host/records/delivery.h"
#include "host/records/local_store.h"

namespace records {

Recorder::Recorder(Config config, Report report)
    : config_(std::move(config)),
      report_(std::move(report)),
      delivery_(config_.server.empty() || config_.file.empty()
                    ? nullptr
                    : std::make_unique<Delivery>(config_.file, config_.server, config_.keepDays,
                                                 [this](const std::string& p) { Say(p); })),
      writer_([this] { Write(); }) {}

Recorder::~Recorder() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  writer_.join();
  delivery_.reset();
}

void Recorder::Say(const std::string& problem) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (!said_.insert(problem).second) return;
  }
  if (report_) report_(problem);
}

std::string Recorder::Problem() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return opened_; });
  return problem_;
}

void Recorder::Begin(const Record& record) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back({record, false});
  }
  changed_.notify_all();
}

void Recorder::End(const Record& record) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back({record, true});
  }
  changed_.notify_all();
}

void Recorder::Flush() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return queue_.empty() && busy_ == 0; });
}

void Recorder::Deliver() {
  Flush();
  if (delivery_) delivery_->Ask();
}

std::string Recorder::WaitDelivered() {
  if (!delivery_) return "no server is configured for the records";
  return delivery_->Wait();
}

void Recorder::Write() {
  std::string error;
  std::unique_ptr<LocalStore> store;
  if (!config_.file.empty()) {
    store = LocalStore::Open(config_.file, error);
    if (store) store->Prune(config_.keepDays, NowMs());
  }
  const std::string problem =
      config_.file.empty() ? ""
      : store              ? ""
                           : "The records cannot be written to " + config_.file + ": " + error;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    opened_ = true;
    problem_ = problem;
  }
  changed_.notify_all();
  if (!problem.empty()) Say(problem);
  if (delivery_ && store) delivery_->Ask();  // what earlier runs left unsent
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    ++busy_;
    hold.unlock();
    if (store) {
      const bool ok = job.ending ? store->Complete(job.record) : store->Begin(job.record);
      if (!ok) Say("A record could not be written to " + config_.file + ": " + store->Error());
      if (ok && job.ending && delivery_ && !job.record.simulated) delivery_->Ask();
    }
    hold.lock();
    --busy_;
    changed_.notify_all();
  }
}

}  // namespace records
