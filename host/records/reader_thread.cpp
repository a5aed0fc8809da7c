#include "host/records/reader_thread.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "host/records/record_csv.h"

namespace records {

// What the thread shares with its owner; the thread keeps it alive after the owner has gone.
struct ReaderThread::Shared {
  std::mutex lock;
  std::condition_variable asked;
  std::deque<Request> waiting;
  uint64_t lastTicket = 0;
  std::vector<ReadAnswer> answered;
  bool stopped = false;
  std::function<void()> ready;  // cleared by the owner's end, under `lock`
};

namespace {

std::string WriteCsv(const std::vector<Record>& found, const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << CsvHeader() << '\n';
  for (const Record& r : found) out << CsvRow(r) << '\n';
  out.flush();
  return out ? "" : "The records could not be written to " + path;
}

}  // namespace

ReaderThread::ReaderThread(const Settings& settings, std::function<void()> ready)
    : shared_(std::make_shared<Shared>()) {
  shared_->ready = std::move(ready);
  // Detached: the owner never waits for a server's time-out; the thread holds its own copies.
  std::thread(Loop, shared_, settings).detach();
}

ReaderThread::~ReaderThread() {
  {
    const std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->stopped = true;
    shared_->ready = nullptr;
    shared_->waiting.clear();
  }
  shared_->asked.notify_one();
}

uint64_t ReaderThread::Find(const Query& query) {
  return Ask({ReadAnswer::Kind::kFind, 0, query, ""});
}

uint64_t ReaderThread::Get(const std::string& id) {
  return Ask({ReadAnswer::Kind::kGet, 0, {}, id});
}

uint64_t ReaderThread::Export(const Query& query, const std::string& path) {
  return Ask({ReadAnswer::Kind::kExport, 0, query, path});
}

std::vector<ReadAnswer> ReaderThread::Take() {
  const std::lock_guard<std::mutex> guard(shared_->lock);
  return std::exchange(shared_->answered, {});
}

uint64_t ReaderThread::Ask(Request request) {
  uint64_t ticket = 0;
  {
    const std::lock_guard<std::mutex> guard(shared_->lock);
    if (request.kind != ReadAnswer::Kind::kExport) {
      std::erase_if(shared_->waiting, [&](const Request& r) { return r.kind == request.kind; });
    }
    ticket = request.ticket = ++shared_->lastTicket;
    shared_->waiting.push_back(std::move(request));
  }
  shared_->asked.notify_one();
  return ticket;
}

// The reader is opened here, not by the owner: opening it is what may wait for the server.
void ReaderThread::Loop(const std::shared_ptr<Shared>& shared, const Settings& settings) {
  Reader reader(settings);
  for (;;) {
    Request request;
    {
      std::unique_lock<std::mutex> guard(shared->lock);
      shared->asked.wait(guard, [&] { return shared->stopped || !shared->waiting.empty(); });
      if (shared->stopped) return;
      request = std::move(shared->waiting.front());
      shared->waiting.pop_front();
    }
    ReadAnswer answer = Serve(reader, request);
    // Under the lock: once the owner has cleared `ready`, it is called no more.
    const std::lock_guard<std::mutex> guard(shared->lock);
    shared->answered.push_back(std::move(answer));
    if (shared->ready) shared->ready();
  }
}

ReadAnswer ReaderThread::Serve(Reader& reader, const Request& request) {
  ReadAnswer a;
  a.kind = request.kind;
  a.ticket = request.ticket;
  a.origin = reader.Problem().empty() ? reader.Origin() : reader.Problem();
  if (request.kind == ReadAnswer::Kind::kFind) {
    a.found = reader.Find(request.query);
  } else if (request.kind == ReadAnswer::Kind::kGet) {
    a.record = reader.Get(request.text);
  } else {
    const std::vector<Record> found = reader.Find(request.query);
    a.path = request.text;
    a.problem = WriteCsv(found, request.text);
    a.written = a.problem.empty() ? found.size() : 0;
  }
  return a;
}

}  // namespace records
