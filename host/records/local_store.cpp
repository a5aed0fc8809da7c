#include "host/records/local_store.h"

#include "corvane/platform/process.h"

namespace records {
namespace {

constexpr const char* kInterruptedReason = "Interrupted: the program ended before the run did";

std::vector<std::string> Values(SqliteStatement& row, size_t count) {
  std::vector<std::string> values;
  values.reserve(count);
  for (size_t i = 0; i < count; ++i) values.push_back(row.Text(static_cast<int>(i)));
  return values;
}

// The process writing a "started" row, so that another can tell whether it still runs: an id
// alone may have been reused since.
int64_t ProcessStart() {
  return static_cast<int64_t>(platform::ProcessStartTime(platform::ProcessId()).value_or(0));
}

bool StillRuns(int64_t pid, int64_t start) {
  const auto now = platform::ProcessStartTime(pid);
  return now.has_value() && static_cast<int64_t>(*now) == start;
}

}  // namespace

std::unique_ptr<LocalStore> LocalStore::Open(const std::string& path, std::string& error,
                                             const Migrations& schema) {
  std::unique_ptr<LocalStore> store(new LocalStore());
  if (!store->db_.Open(path, false)) {
    error = store->db_.Error();
    return nullptr;
  }
  // WAL lets `records` read while runs write; a file that refuses it (read-only, corrupt) shows
  // here or in the migration, before any run relies on it.
  if (!store->db_.Exec("PRAGMA journal_mode=WAL") || !store->Migrate(schema, error)) {
    if (error.empty()) error = store->db_.Error();
    return nullptr;
  }
  store->MarkInterrupted();
  return store;
}

std::unique_ptr<LocalStore> LocalStore::OpenToRead(const std::string& path, std::string& error) {
  std::unique_ptr<LocalStore> store(new LocalStore());
  if (!store->db_.Open(path, true) || store->Version() == 0) {
    error = store->db_.Error();
    return nullptr;
  }
  return store;
}

int LocalStore::Version() {
  SqliteStatement s = db_.Prepare("SELECT version FROM tarvex_schema");
  return s.Row() ? static_cast<int>(s.Int(0)) : 0;
}

bool LocalStore::Migrate(const Migrations& schema, std::string& error) {
  // IMMEDIATE: two processes that open a new file at once must not both create its tables.
  if (!db_.Exec("BEGIN IMMEDIATE") ||
      !db_.Exec("CREATE TABLE IF NOT EXISTS tarvex_schema (version INTEGER NOT NULL)")) {
    return false;
  }
  const int from = Version();
  if (from == 0 && !db_.Exec("INSERT INTO tarvex_schema (version) VALUES (0)")) return false;
  for (size_t v = static_cast<size_t>(from); v < schema.size(); ++v) {
    for (const std::string& sql : schema[v]) {
      if (!db_.Exec(sql)) {
        error = "schema version " + std::to_string(v + 1) + ": " + db_.Error();
        db_.Exec("ROLLBACK");
        return false;
      }
    }
  }
  // A newer program's file only added columns with defaults: this one still writes to it.
  const int to = std::max(from, static_cast<int>(schema.size()));
  if (!db_.Prepare("UPDATE tarvex_schema SET version = ?").Bind(int64_t{to}).Run() ||
      !db_.Exec("COMMIT")) {
    db_.Exec("ROLLBACK");
    return false;
  }
  return true;
}

void LocalStore::MarkInterrupted() {
  SqliteStatement s =
      db_.Prepare("SELECT id, process_id, process_start FROM runs WHERE state = 'started'");
  std::vector<std::string> gone;
  while (s.Row()) {
    if (!StillRuns(s.Int(1), s.Int(2))) gone.push_back(s.Text(0));
  }
  for (const std::string& id : gone) {
    db_.Prepare(
           "UPDATE runs SET state = ?, verdict = ?, reason = ? WHERE id = ? AND state = 'started'")
        .Bind(kInterrupted)
        .Bind(kFail)
        .Bind(kInterruptedReason)
        .Bind(id)
        .Run();
  }
}

bool LocalStore::Write(const Record& record) {
  const auto& columns = RunColumns();
  SqliteStatement run = db_.Prepare("INSERT OR REPLACE INTO runs (" + ColumnList(columns) +
                                    ", process_id, process_start) VALUES (" +
                                    Placeholders(columns.size() + 2, false) + ")");
  for (const std::string& v : RunValues(record)) run.Bind(v);
  if (!run.Bind(platform::ProcessId()).Bind(ProcessStart()).Run()) return false;
  if (!db_.Prepare("DELETE FROM run_files WHERE run_id = ?").Bind(record.id).Run()) return false;
  for (size_t i = 0; i < record.files.size(); ++i) {
    SqliteStatement file =
        db_.Prepare("INSERT INTO run_files (" + ColumnList(FileColumns()) + ") VALUES (" +
                    Placeholders(FileColumns().size(), false) + ")");
    for (const std::string& v : FileValues(record.id, i, record.files[i])) file.Bind(v);
    if (!file.Run()) return false;
  }
  return true;
}

bool LocalStore::Begin(const Record& record) { return Complete(record); }

bool LocalStore::Complete(const Record& record) {
  if (!db_.Exec("BEGIN IMMEDIATE")) return false;
  if (!Write(record)) {
    db_.Exec("ROLLBACK");
    return false;
  }
  return db_.Exec("COMMIT");
}

std::vector<Record> LocalStore::Select(const std::string& where,
                                       const std::vector<std::string>& args,
                                       const std::string& tail) {
  SqliteStatement s = db_.Prepare("SELECT " + ColumnList(RunColumns()) + " FROM runs" +
                                  (where.empty() ? "" : " WHERE " + where) + tail);
  for (const std::string& a : args) s.Bind(a);
  std::vector<Record> found;
  while (s.Row()) found.push_back(RecordOf(Values(s, RunColumns().size())));
  return found;
}

std::vector<Record> LocalStore::Find(const Query& q) {
  const Clause c = ClauseOf(q, false);
  return Select(c.where, c.args, c.tail);
}

std::optional<Record> LocalStore::Get(const std::string& id) {
  // A prefix compared as text: LIKE would take a '_' or '%' typed by the user as a wildcard.
  std::vector<Record> found = Select("substr(id, 1, length(?)) = ?", {id, id}, " LIMIT 2");
  if (found.size() != 1) return std::nullopt;
  Record r = std::move(found.front());
  SqliteStatement s = db_.Prepare("SELECT " + ColumnList(FileColumns()) +
                                  " FROM run_files WHERE run_id = ? ORDER BY position");
  s.Bind(r.id);
  while (s.Row()) r.files.push_back(FileOf(Values(s, FileColumns().size())));
  return r;
}

std::vector<Record> LocalStore::Unsent(size_t limit) {
  std::vector<Record> found = Select("sent = 0 AND simulated = 0 AND state <> 'started'", {},
                                     " ORDER BY started_utc LIMIT " + std::to_string(limit));
  for (Record& r : found) r = Get(r.id).value_or(r);
  return found;
}

bool LocalStore::MarkSent(const std::string& id) {
  return db_.Prepare("UPDATE runs SET sent = 1 WHERE id = ?").Bind(id).Run();
}

bool LocalStore::Prune(int keepDays, int64_t nowMs) {
  const std::string before = IsoUtc(nowMs - int64_t{keepDays} * 86400000);
  const std::string gone = "state <> 'started' AND ended_utc < ? AND (sent = 1 OR simulated = 1)";
  if (!db_.Exec("BEGIN IMMEDIATE")) return false;
  const bool ok =
      db_.Prepare("DELETE FROM run_files WHERE run_id IN (SELECT id FROM runs WHERE " + gone + ")")
          .Bind(before)
          .Run() &&
      db_.Prepare("DELETE FROM runs WHERE " + gone).Bind(before).Run();
  return db_.Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

}  // namespace records
