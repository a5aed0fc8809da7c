#pragma once

#include <string>
#include <vector>

#include "host/records/record.h"

// The records' tables, the same in a station's SQLite file and in a line's PostgreSQL database,
// and the way a record becomes rows of them. A schema change only adds tables and columns with
// defaults, so a station of an older version keeps writing to a database a newer one migrated.
namespace records {

// The statements that take a database from version i to i + 1, for each i from 0.
using Migrations = std::vector<std::vector<std::string>>;
const Migrations& CurrentSchema();

// The runs table's columns that a record fills, in the order of RunValues.
const std::vector<std::string>& RunColumns();
// A record's values for RunColumns, as text (both databases convert by the column's type).
std::vector<std::string> RunValues(const Record& record);

const std::vector<std::string>& FileColumns();  // run_id, position, then the file's
std::vector<std::string> FileValues(const std::string& runId, size_t position, const FileRun& f);

// Builds a record from RunColumns' values as read back (the inverse of RunValues).
Record RecordOf(const std::vector<std::string>& values);
FileRun FileOf(const std::vector<std::string>& values);  // FileColumns' values

// "a, b, c" and "?, ?, ?" or "$1, $2, $3" for an INSERT.
std::string ColumnList(const std::vector<std::string>& columns);
std::string Placeholders(size_t count, bool numbered);

}  // namespace records
