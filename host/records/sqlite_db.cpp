#include "host/records/sqlite_db.h"

#include <sqlite3.h>

namespace records {

SqliteStatement::SqliteStatement(sqlite3* db, const std::string& sql) : db_(db) {
  if (db_ != nullptr && sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()),
                                           &statement_, nullptr) != SQLITE_OK) {
    statement_ = nullptr;
  }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::Bind(const std::string& text) {
  if (statement_ != nullptr &&
      sqlite3_bind_text(statement_, next_++, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int64_t value) {
  if (statement_ != nullptr && sqlite3_bind_int64(statement_, next_++, value) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

bool SqliteStatement::Row() {
  if (statement_ == nullptr || failed_) return false;
  const int rc = sqlite3_step(statement_);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) failed_ = true;
  return rc == SQLITE_ROW;
}

bool SqliteStatement::Run() {
  while (Row()) {
  }
  return statement_ != nullptr && !failed_;
}

std::string SqliteStatement::Text(int column) const {
  const auto* text = sqlite3_column_text(statement_, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text),
                           static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

SqliteDb::~SqliteDb() { sqlite3_close(db_); }

bool SqliteDb::Open(const std::string& path, bool readOnly) {
  const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
    openError_ = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  // Another process may be writing its own record: wait for it rather than fail.
  sqlite3_busy_timeout(db_, 5000);
  return true;
}

bool SqliteDb::Exec(const std::string& sql) {
  return db_ != nullptr && sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string SqliteDb::Error() const { return db_ != nullptr ? sqlite3_errmsg(db_) : openError_; }

}  // namespace records
