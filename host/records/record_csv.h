#pragma once

#include <string>
#include <vector>

#include "host/records/record.h"

// Records as CSV (RFC 4180), the same columns from `tarvex-cli records --csv` and from the Records
// window's "Export CSV", times in UTC.
namespace records {

std::string CsvHeader();
std::string CsvRow(const Record& record);
// One field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

// The table of records (the CLI's plain table, the Records window): time (local), station, port,
// serial/PID, mode, verdict, duration.
std::vector<std::string> TableHeader();
std::vector<std::string> TableCells(const Record& record);
// The verdict as the table shows it: "interrupted" for a run whose process died.
std::string VerdictText(const Record& record);

// "serial/PID" as the table shows it: the USB serial, else the phone's PID, else "—".
std::string SerialOrPid(const Record& record);
// "12.3 s"; "—" while the run has not ended.
std::string DurationText(const Record& record);

}  // namespace records
