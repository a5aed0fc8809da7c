// A build without records (TARVEX_RECORDS=OFF: no SQLite, PostgreSQL or OpenSSL): the stores
// open nothing and say why, so every run goes on and `records` explains itself.

#include "host/records/server_store.h"
#include "host/records/sqlite_db.h"

namespace records {
namespace {
constexpr const char* kNotBuilt = "records are not built into this program";
}  // namespace

SqliteStatement::SqliteStatement(sqlite3* db, const std::string&) : db_(db) {}
SqliteStatement::~SqliteStatement() = default;
SqliteStatement& SqliteStatement::Bind(const std::string&) { return *this; }
SqliteStatement& SqliteStatement::Bind(int64_t) { return *this; }
bool SqliteStatement::Row() { return false; }
bool SqliteStatement::Run() { return false; }
std::string SqliteStatement::Text(int) const { return ""; }
int64_t SqliteStatement::Int(int) const { return 0; }

SqliteDb::~SqliteDb() = default;
bool SqliteDb::Open(const std::string&, bool) {
  openError_ = kNotBuilt;
  return false;
}
bool SqliteDb::Exec(const std::string&) { return false; }
std::string SqliteDb::Error() const { return kNotBuilt; }

std::string RefusedConnection(const std::string&) { return ""; }

std::unique_ptr<ServerStore> ServerStore::Connect(const std::string&, std::string& error,
                                                  const Migrations&) {
  error = kNotBuilt;
  return nullptr;
}
ServerStore::~ServerStore() = default;
int ServerStore::Version() { return 0; }
bool ServerStore::Put(const Record&, std::string& error) {
  error = kNotBuilt;
  return false;
}
std::vector<Record> ServerStore::Find(const Query&, std::string& error) {
  error = kNotBuilt;
  return {};
}
std::optional<Record> ServerStore::Get(const std::string&, std::string& error) {
  error = kNotBuilt;
  return std::nullopt;
}

}  // namespace records
