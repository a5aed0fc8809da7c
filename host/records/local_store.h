#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/records/query.h"
#include "host/records/record.h"
#include "host/records/schema.h"
#include "host/records/sqlite_db.h"

// A station's own record file: SQLite in write-ahead-log mode, so that `records` reads while
// runs write, and several processes of one station share it. One connection per owner; not for
// use from two threads at once.
namespace records {

class LocalStore {
 public:
  // Opens (creating) the file and brings its schema up to `schema`'s version in one transaction;
  // null with `error` set when it cannot. Records left "started" by processes that no longer
  // run become "interrupted".
  static std::unique_ptr<LocalStore> Open(const std::string& path, std::string& error,
                                          const Migrations& schema = CurrentSchema());
  // Opens an existing file for reading only; null with `error` when there is none.
  static std::unique_ptr<LocalStore> OpenToRead(const std::string& path, std::string& error);

  int Version();
  // The run's "started" row; then, at its end, the whole record in one transaction.
  bool Begin(const Record& record);
  bool Complete(const Record& record);

  std::vector<Record> Find(const Query& query);      // newest first, without files
  std::optional<Record> Get(const std::string& id);  // with its files; an id prefix will do
  // Ended records not yet on the line's server (never a simulated phone's), oldest first.
  std::vector<Record> Unsent(size_t limit);
  bool MarkSent(const std::string& id);
  // Deletes delivered records (and simulated ones) that ended more than `keepDays` ago.
  bool Prune(int keepDays, int64_t nowMs);

  std::string Error() const { return db_.Error(); }

 private:
  LocalStore() = default;
  bool Migrate(const Migrations& schema, std::string& error);
  void MarkInterrupted();
  bool Write(const Record& record);
  std::vector<Record> Select(const std::string& where, const std::vector<std::string>& args,
                             const std::string& tail);

  SqliteDb db_;
};

}  // namespace records
