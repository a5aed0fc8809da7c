#include "host/records/delivery.h"

#include "host/records/local_store.h"
#include "host/records/server_store.h"

namespace records {

namespace {
constexpr size_t kBatch = 100;  // records read from the local file at a time
}  // namespace

Delivery::Delivery(std::string file, std::string server, int keepDays, Say say)
    : file_(std::move(file)),
      server_(std::move(server)),
      keepDays_(keepDays),
      say_(std::move(say)),
      thread_([this] { Loop(); }) {}

Delivery::~Delivery() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void Delivery::Ask() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    ++asked_;
  }
  changed_.notify_all();
}

std::string Delivery::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  const uint64_t target = asked_;
  changed_.wait(hold, [&] { return done_ >= target; });
  return problem_;
}

void Delivery::Loop() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return stopping_ || done_ < asked_; });
    if (stopping_) break;
    const uint64_t target = asked_;
    hold.unlock();
    const std::string problem = DeliverAll();
    if (!problem.empty()) say_(problem);
    hold.lock();
    problem_ = problem;
    done_ = target;
    changed_.notify_all();
  }
  // Nobody waits past the end: what was asked for and not delivered stays unsent.
  done_ = asked_;
  changed_.notify_all();
}

std::string Delivery::DeliverAll() {
  std::string error;
  const std::unique_ptr<LocalStore> local = LocalStore::Open(file_, error);
  if (!local) return "The records cannot be read from " + file_ + ": " + error;
  std::vector<Record> unsent = local->Unsent(kBatch);
  if (unsent.empty()) return "";
  const std::unique_ptr<ServerStore> server = ServerStore::Connect(server_, error);
  if (!server) return error + "; the records stay on this station until it can be";
  while (!unsent.empty()) {
    for (const Record& r : unsent) {
      if (!server->Put(r, error)) {
        return "The records server refused record " + r.id + ": " + error +
               "; the records stay on this station";
      }
      local->MarkSent(r.id);
      const std::lock_guard<std::mutex> hold(lock_);
      if (stopping_) return "";
    }
    unsent = local->Unsent(kBatch);
  }
  local->Prune(keepDays_, NowMs());
  return "";
}

}  // namespace records
