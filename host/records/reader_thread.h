#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/records/query.h"
#include "host/records/reader.h"
#include "host/records/record.h"
#include "host/records/records_settings.h"

// A Reader on a thread of its own, for a window that must never wait: a line's server that is
// down costs its connect time-out on that thread, while the window keeps drawing.
namespace records {

// One request's answer.
struct ReadAnswer {
  enum class Kind { kFind, kGet, kExport };
  Kind kind = Kind::kFind;
  uint64_t ticket = 0;           // the request's, as Find, Get or Export returned it
  std::string origin;            // where the records came from, or why none can be read
  std::vector<Record> found;     // kFind
  std::optional<Record> record;  // kGet: with its files
  std::string path;              // kExport: the file written
  std::string problem;           // kExport: "" when it was written, else why not
  size_t written = 0;            // kExport: the records it holds
};

class ReaderThread {
 public:
  // Calls `ready` on the reading thread whenever an answer is there to be taken: an owner of
  // another thread wakes its own to Take it, so that no answer's data crosses by another path
  // than this class's lock.
  ReaderThread(const Settings& settings, std::function<void()> ready);
  // Calls `ready` no more once it has returned, and waits for nothing: a query still running
  // ends on its own time-out, and the thread with it, on copies of its own.
  ~ReaderThread();
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;

  // Each returns its request's ticket, larger than every earlier one. A Find or a Get still
  // waiting when a newer one of its kind is asked is dropped unanswered: only the newest matters.
  uint64_t Find(const Query& query);
  uint64_t Get(const std::string& id);
  // Writes what `query` finds to `path` as CSV; never dropped.
  uint64_t Export(const Query& query, const std::string& path);
  // The answers that came since the last call, in the order asked.
  std::vector<ReadAnswer> Take();

 private:
  struct Request {
    ReadAnswer::Kind kind = ReadAnswer::Kind::kFind;
    uint64_t ticket = 0;
    Query query;
    std::string text;  // kGet: the id; kExport: the path
  };
  struct Shared;

  uint64_t Ask(Request request);
  static void Loop(const std::shared_ptr<Shared>& shared, const Settings& settings);
  static ReadAnswer Serve(Reader& reader, const Request& request);

  std::shared_ptr<Shared> shared_;
};

}  // namespace records
