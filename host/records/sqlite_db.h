#pragma once

#include <cstdint>
#include <string>

// A thin owner of an SQLite connection and its statements: what the record store needs, no
// more. Errors come back as text, never as exceptions, since a broken record file must not stop
// a flash.
struct sqlite3;
struct sqlite3_stmt;

namespace records {

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const std::string& sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool Ok() const { return statement_ != nullptr; }
  // Binds in order, from the first parameter on.
  SqliteStatement& Bind(const std::string& text);
  SqliteStatement& Bind(int64_t value);
  // One step: true while a row is there; `done` false with an error.
  bool Row();
  // Runs it to its end; false on an error.
  bool Run();
  std::string Text(int column) const;
  int64_t Int(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  int next_ = 1;
  bool failed_ = false;
};

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens (creating) the file; false with Error() set.
  bool Open(const std::string& path, bool readOnly);
  bool Exec(const std::string& sql);
  SqliteStatement Prepare(const std::string& sql) { return {db_, sql}; }
  std::string Error() const;

 private:
  sqlite3* db_ = nullptr;
  std::string openError_;
};

}  // namespace records
