#include "host/records/query.h"

#include "host/records/record.h"

namespace records {

Clause ClauseOf(const Query& q, bool numbered) {
  Clause c;
  c.where = q.simulated ? "1 = 1" : "simulated = 0";
  const auto arg = [&](const std::string& value) {
    c.args.push_back(value);
    return numbered ? "$" + std::to_string(c.args.size()) : std::string("?");
  };
  if (q.sinceMs) c.where += " AND started_utc >= " + arg(IsoUtc(*q.sinceMs));
  if (!q.serial.empty()) {
    c.where += " AND (usb_serial = " + arg(q.serial) + " OR phone_pid = " + arg(q.serial) + ")";
  }
  if (!q.station.empty()) c.where += " AND station = " + arg(q.station);
  if (!q.verdict.empty()) c.where += " AND verdict = " + arg(q.verdict);
  c.tail = " ORDER BY started_utc DESC";
  if (q.limit != 0) c.tail += " LIMIT " + std::to_string(q.limit);
  return c;
}

}  // namespace records
