#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which records `records` lists, the same for the local file and the line's server.
namespace records {

struct Query {
  std::optional<int64_t> sinceMs;  // started at or after
  std::string serial;              // the USB serial or the phone's PID
  std::string station;
  std::string verdict;     // a verdict word; "" for any
  bool simulated = false;  // include simulated phones' records
  size_t limit = 0;        // the newest this many; 0 for all
};

}  // namespace records

namespace records {

// The query as a WHERE clause over the runs table with its arguments in order, and the ORDER
// BY / LIMIT that follow it: "?" placeholders for SQLite, "$1"... for PostgreSQL.
struct Clause {
  std::string where;
  std::vector<std::string> args;
  std::string tail;
};
Clause ClauseOf(const Query& query, bool numbered);

}  // namespace records
