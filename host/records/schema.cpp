#include "host/records/schema.h"

namespace records {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += (text.empty() ? "" : "\n") + l;
  return text;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (!text.empty() && from <= text.size()) {
    const size_t end = text.find('\n', from);
    lines.push_back(text.substr(from, end - from));
    if (end == std::string::npos) break;
    from = end + 1;
  }
  return lines;
}

int64_t Number(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoll(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

// The tables are never destroyed: the Records window's reader may still be reading them on its
// own thread while the program ends (it is never waited for; see ReaderThread).
const Migrations& CurrentSchema() {
  static const Migrations& kSchema = *new const Migrations{{
      "CREATE TABLE runs (id TEXT PRIMARY KEY, state TEXT NOT NULL,"
      " station TEXT NOT NULL DEFAULT '', job TEXT NOT NULL DEFAULT '',"
      " user_name TEXT NOT NULL DEFAULT '', started_utc TEXT NOT NULL,"
      " ended_utc TEXT NOT NULL DEFAULT '', duration_ms BIGINT NOT NULL DEFAULT 0,"
      " tool TEXT NOT NULL DEFAULT '', tool_version TEXT NOT NULL DEFAULT '',"
      " plugin TEXT NOT NULL DEFAULT '', plugin_version TEXT NOT NULL DEFAULT '',"
      " mode TEXT NOT NULL DEFAULT '', erase BIGINT NOT NULL DEFAULT 0,"
      " simulated INTEGER NOT NULL DEFAULT 0, port TEXT NOT NULL DEFAULT '',"
      " usb_path TEXT NOT NULL DEFAULT '', usb_ids TEXT NOT NULL DEFAULT '',"
      " usb_serial TEXT NOT NULL DEFAULT '', model_name TEXT NOT NULL DEFAULT '',"
      " phone_pid TEXT NOT NULL DEFAULT '', verdict TEXT NOT NULL DEFAULT '',"
      " reason TEXT NOT NULL DEFAULT '', export_result BIGINT NOT NULL DEFAULT 0,"
      " unwritten TEXT NOT NULL DEFAULT '', lines TEXT NOT NULL DEFAULT '',"
      " sent INTEGER NOT NULL DEFAULT 0, process_id BIGINT NOT NULL DEFAULT 0,"
      " process_start BIGINT NOT NULL DEFAULT 0)",
      "CREATE TABLE run_files (run_id TEXT NOT NULL, position INTEGER NOT NULL,"
      " path TEXT NOT NULL DEFAULT '', size BIGINT NOT NULL DEFAULT 0,"
      " sha256 TEXT NOT NULL DEFAULT '', hashed_bytes BIGINT NOT NULL DEFAULT 0,"
      " partial INTEGER NOT NULL DEFAULT 0, step_kind TEXT NOT NULL DEFAULT '',"
      " file_index INTEGER NOT NULL DEFAULT -1, acked_bytes BIGINT NOT NULL DEFAULT 0,"
      " duration_ms BIGINT NOT NULL DEFAULT 0, result TEXT NOT NULL DEFAULT '',"
      " PRIMARY KEY (run_id, position))",
      // `records --serial` and `--since` over a line's months of records must stay quick.
      "CREATE INDEX runs_usb_serial ON runs (usb_serial)",
      "CREATE INDEX runs_phone_pid ON runs (phone_pid)",
      "CREATE INDEX runs_started ON runs (started_utc)",
  }};
  return kSchema;
}

const std::vector<std::string>& RunColumns() {
  static const auto& kColumns = *new const std::vector<std::string>{
      "id",         "state",       "station",   "job",          "user_name", "started_utc",
      "ended_utc",  "duration_ms", "tool",      "tool_version", "plugin",    "plugin_version",
      "mode",       "erase",       "simulated", "port",         "usb_path",  "usb_ids",
      "usb_serial", "model_name",  "phone_pid", "verdict",      "reason",    "export_result",
      "unwritten",  "lines",       "sent"};
  return kColumns;
}

std::vector<std::string> RunValues(const Record& r) {
  const Phone& p = r.phone;
  return {r.id,
          r.state,
          r.station,
          r.job,
          r.user,
          IsoUtc(r.startMs),
          r.endMs != 0 ? IsoUtc(r.endMs) : "",
          std::to_string(r.endMs != 0 ? r.endMs - r.startMs : 0),
          r.tool,
          r.toolVersion,
          r.plugin,
          r.pluginVersion,
          r.mode,
          std::to_string(r.erase),
          r.simulated ? "1" : "0",
          p.port,
          p.usbPath,
          p.usbIds,
          p.usbSerial,
          p.modelName,
          p.pid,
          r.verdict,
          r.reason,
          std::to_string(r.exportResult),
          Joined(r.unwritten),
          Joined(r.lines),
          r.sent ? "1" : "0"};
}

Record RecordOf(const std::vector<std::string>& v) {
  Record r;
  size_t i = 0;
  r.id = v.at(i++);
  r.state = v.at(i++);
  r.station = v.at(i++);
  r.job = v.at(i++);
  r.user = v.at(i++);
  ParseTime(v.at(i++), r.startMs);
  if (!ParseTime(v.at(i++), r.endMs)) r.endMs = 0;
  ++i;  // the duration follows from the two times
  r.tool = v.at(i++);
  r.toolVersion = v.at(i++);
  r.plugin = v.at(i++);
  r.pluginVersion = v.at(i++);
  r.mode = v.at(i++);
  r.erase = static_cast<uint32_t>(Number(v.at(i++)));
  r.simulated = Number(v.at(i++)) != 0;
  r.phone = {v.at(i), v.at(i + 1), v.at(i + 2), v.at(i + 3), v.at(i + 4), v.at(i + 5)};
  i += 6;
  r.verdict = v.at(i++);
  r.reason = v.at(i++);
  r.exportResult = static_cast<int>(Number(v.at(i++)));
  r.unwritten = Split(v.at(i++));
  r.lines = Split(v.at(i++));
  r.sent = Number(v.at(i++)) != 0;
  return r;
}

const std::vector<std::string>& FileColumns() {
  static const auto& kColumns = *new const std::vector<std::string>{
      "run_id",  "position",  "path",       "size",        "sha256",      "hashed_bytes",
      "partial", "step_kind", "file_index", "acked_bytes", "duration_ms", "result"};
  return kColumns;
}

std::vector<std::string> FileValues(const std::string& runId, size_t position, const FileRun& f) {
  return {runId,
          std::to_string(position),
          f.path,
          std::to_string(f.size),
          f.sha256,
          std::to_string(f.hashedBytes),
          f.partial ? "1" : "0",
          f.stepKind,
          std::to_string(f.fileIndex),
          std::to_string(f.ackedBytes),
          std::to_string(f.durationMs),
          f.result};
}

FileRun FileOf(const std::vector<std::string>& v) {
  FileRun f;
  f.path = v.at(2);
  f.size = static_cast<uint64_t>(Number(v.at(3)));
  f.sha256 = v.at(4);
  f.hashedBytes = static_cast<uint64_t>(Number(v.at(5)));
  f.partial = Number(v.at(6)) != 0;
  f.stepKind = v.at(7);
  f.fileIndex = static_cast<int>(Number(v.at(8)));
  f.ackedBytes = static_cast<uint64_t>(Number(v.at(9)));
  f.durationMs = static_cast<uint64_t>(Number(v.at(10)));
  f.result = v.at(11);
  return f;
}

std::string ColumnList(const std::vector<std::string>& columns) {
  std::string text;
  for (const std::string& c : columns) text += (text.empty() ? "" : ", ") + c;
  return text;
}

std::string Placeholders(size_t count, bool numbered) {
  std::string text;
  for (size_t i = 1; i <= count; ++i) {
    text += (i > 1 ? ", " : "") + (numbered ? "$" + std::to_string(i) : std::string("?"));
  }
  return text;
}

}  // namespace records
