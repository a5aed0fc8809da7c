#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/records/query.h"
#include "host/records/record.h"
#include "host/records/schema.h"

struct pg_conn;

// A line's PostgreSQL database, which every station delivers its records to. Reached with a
// connect time-out of 3 s and a statement time-out, so that a server that is down or stuck costs
// a delivery a few seconds on its own thread and never a run.
namespace records {

inline constexpr int kConnectTimeoutS = 3;
inline constexpr int kStatementTimeoutMs = 10000;

// "" when the connection string may be kept in the settings, else why not: a password in it would
// sit in "Tarvex.ini" and in the process list (libpq's password or service file supplies one).
std::string RefusedConnection(const std::string& connection);

class ServerStore {
 public:
  // Null with `error` set when the string is refused or the server cannot be reached. `schema`
  // is brought up to date in one transaction, whichever station gets there first.
  static std::unique_ptr<ServerStore> Connect(const std::string& connection, std::string& error,
                                              const Migrations& schema = CurrentSchema());
  ~ServerStore();
  ServerStore(const ServerStore&) = delete;
  ServerStore& operator=(const ServerStore&) = delete;

  int Version();
  // Stores the record unless the server has it already (its id is the key): delivering twice
  // is harmless. False with `error` set when the server refused it.
  bool Put(const Record& record, std::string& error);
  std::vector<Record> Find(const Query& query, std::string& error);
  std::optional<Record> Get(const std::string& id, std::string& error);

 private:
  explicit ServerStore(pg_conn* connection) : connection_(connection) {}
  bool Migrate(const Migrations& schema, std::string& error);
  bool Exec(const std::string& sql, const std::vector<std::string>& args, std::string& error,
            std::vector<std::vector<std::string>>* rows = nullptr, bool* changed = nullptr);

  pg_conn* connection_;
};

}  // namespace records
