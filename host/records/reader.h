#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/records/local_store.h"
#include "host/records/query.h"
#include "host/records/records_settings.h"
#include "host/records/server_store.h"

// Where the front ends read records from: the line's server when one is set and answers (it
// holds every station's), else this station's own file; `Origin` says which, as the first line
// of what is shown.
namespace records {

class Reader {
 public:
  explicit Reader(const Settings& settings);

  const std::string& Origin() const { return origin_; }
  // Why nothing can be read ("" when something can).
  const std::string& Problem() const { return problem_; }
  std::vector<Record> Find(const Query& query);
  std::optional<Record> Get(const std::string& id);  // with its files; an id prefix will do

 private:
  std::unique_ptr<ServerStore> server_;
  std::unique_ptr<LocalStore> local_;
  std::string origin_;
  std::string problem_;
};

// One record as `records show` and the Records window show it: its phone, tool, verdict, each
// file with its digest, then its status lines.
std::vector<std::string> DetailLines(const Record& record);

// Whether this program keeps records at all (a build without SQLite, PostgreSQL and OpenSSL,
// such as the Windows one, does not).
bool Built();

}  // namespace records
