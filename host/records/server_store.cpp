#include "host/records/server_store.h"

#include <libpq-fe.h>

namespace records {
namespace {

// Taken by every station's migration, so that two that meet an old database at once do not both
// change it.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(4410221)";

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string RefusedConnection(const std::string& connection) {
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(connection.c_str(), &parseError);
  if (options == nullptr) {
    const std::string why = parseError != nullptr ? Trimmed(parseError) : "out of memory";
    PQfreemem(parseError);
    return "The records server's connection string cannot be read: " + why;
  }
  bool password = false;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    password = password || (std::string(o->keyword) == "password" && o->val != nullptr);
  }
  PQconninfoFree(options);
  if (!password) return "";
  return "The records server's connection string holds a password: it would sit in Tarvex.ini "
         "and in the process list. Give the password in ~/.pgpass or a service file instead.";
}

std::unique_ptr<ServerStore> ServerStore::Connect(const std::string& connection, std::string& error,
                                                  const Migrations& schema) {
  error = RefusedConnection(connection);
  if (!error.empty()) return nullptr;
  const std::string timeout = std::to_string(kConnectTimeoutS);
  const std::string options = "-c statement_timeout=" + std::to_string(kStatementTimeoutMs);
  const char* keys[] = {"dbname", "connect_timeout", "options", "application_name", nullptr};
  const char* values[] = {connection.c_str(), timeout.c_str(), options.c_str(), "tarvex", nullptr};
  pg_conn* c = PQconnectdbParams(keys, values, 1);
  if (c == nullptr || PQstatus(c) != CONNECTION_OK) {
    error = "The records server cannot be reached: " +
            (c != nullptr ? Trimmed(PQerrorMessage(c)) : std::string("out of memory"));
    PQfinish(c);
    return nullptr;
  }
  // The server's notices ("already exists, skipping") are for its log, not the user's terminal.
  PQsetNoticeProcessor(
      c, [](void*, const char*) {}, nullptr);
  std::unique_ptr<ServerStore> store(new ServerStore(c));
  if (!store->Migrate(schema, error)) return nullptr;
  return store;
}

ServerStore::~ServerStore() { PQfinish(connection_); }

bool ServerStore::Exec(const std::string& sql, const std::vector<std::string>& args,
                       std::string& error, std::vector<std::vector<std::string>>* rows,
                       bool* changed) {
  std::vector<const char*> values;
  values.reserve(args.size());
  for (const std::string& a : args) values.push_back(a.c_str());
  PGresult* r = PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(r);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) error = Trimmed(PQresultErrorMessage(r));
  for (int row = 0; ok && rows != nullptr && row < PQntuples(r); ++row) {
    rows->emplace_back();
    for (int col = 0; col < PQnfields(r); ++col) rows->back().emplace_back(PQgetvalue(r, row, col));
  }
  if (ok && changed != nullptr) *changed = std::string(PQcmdTuples(r)) != "0";
  PQclear(r);
  return ok;
}

int ServerStore::Version() {
  std::vector<std::vector<std::string>> rows;
  std::string error;
  if (!Exec("SELECT version FROM tarvex_schema", {}, error, &rows) || rows.empty()) return 0;
  return std::stoi(rows[0][0]);
}

bool ServerStore::Migrate(const Migrations& schema, std::string& error) {
  std::vector<std::vector<std::string>> rows;
  bool ok =
      Exec("BEGIN", {}, error) && Exec(kMigrationLock, {}, error) &&
      Exec("CREATE TABLE IF NOT EXISTS tarvex_schema (version INTEGER NOT NULL)", {}, error) &&
      Exec("SELECT version FROM tarvex_schema", {}, error, &rows);
  const int from = ok && !rows.empty() ? std::stoi(rows[0][0]) : 0;
  if (ok && rows.empty()) ok = Exec("INSERT INTO tarvex_schema (version) VALUES (0)", {}, error);
  for (size_t v = static_cast<size_t>(from); ok && v < schema.size(); ++v) {
    for (const std::string& sql : schema[v]) ok = ok && Exec(sql, {}, error);
  }
  const int to = std::max(from, static_cast<int>(schema.size()));
  ok = ok && Exec("UPDATE tarvex_schema SET version = $1", {std::to_string(to)}, error) &&
       Exec("COMMIT", {}, error);
  if (!ok) {
    std::string ignored;
    Exec("ROLLBACK", {}, ignored);
    error = "The records server's tables cannot be brought up to date: " + error;
  }
  return ok;
}

bool ServerStore::Put(const Record& record, std::string& error) {
  Record sent = record;
  sent.sent = true;
  const auto& columns = RunColumns();
  bool inserted = false;
  bool ok = Exec("BEGIN", {}, error) &&
            Exec("INSERT INTO runs (" + ColumnList(columns) + ") VALUES (" +
                     Placeholders(columns.size(), true) + ") ON CONFLICT (id) DO NOTHING",
                 RunValues(sent), error, nullptr, &inserted);
  // Already there: an earlier delivery got through and only its acknowledgement was lost.
  for (size_t i = 0; ok && inserted && i < record.files.size(); ++i) {
    ok = Exec("INSERT INTO run_files (" + ColumnList(FileColumns()) + ") VALUES (" +
                  Placeholders(FileColumns().size(), true) + ")",
              FileValues(record.id, i, record.files[i]), error);
  }
  ok = ok && Exec("COMMIT", {}, error);
  if (!ok) {
    std::string ignored;
    Exec("ROLLBACK", {}, ignored);
  }
  return ok;
}

std::vector<Record> ServerStore::Find(const Query& query, std::string& error) {
  const Clause c = ClauseOf(query, true);
  std::vector<std::vector<std::string>> rows;
  Exec("SELECT " + ColumnList(RunColumns()) + " FROM runs WHERE " + c.where + c.tail, c.args, error,
       &rows);
  std::vector<Record> found;
  found.reserve(rows.size());
  for (const auto& row : rows) found.push_back(RecordOf(row));
  return found;
}

std::optional<Record> ServerStore::Get(const std::string& id, std::string& error) {
  std::vector<std::vector<std::string>> rows;
  if (!Exec("SELECT " + ColumnList(RunColumns()) +
                " FROM runs WHERE substr(id, 1, length($1)) = $1 LIMIT 2",
            {id}, error, &rows) ||
      rows.size() != 1) {
    return std::nullopt;
  }
  Record r = RecordOf(rows[0]);
  std::vector<std::vector<std::string>> files;
  Exec(
      "SELECT " + ColumnList(FileColumns()) + " FROM run_files WHERE run_id = $1 ORDER BY position",
      {r.id}, error, &files);
  for (const auto& f : files) r.files.push_back(FileOf(f));
  return r;
}

}  // namespace records
