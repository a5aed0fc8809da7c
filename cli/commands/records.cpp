// records: what the station's record file (or the line's server, where one is configured and
// reachable) holds: a table of runs, one run's files and lines, or the delivery of what is unsent.

#include <iterator>

#include "cli/commands/commands.h"
#include "cli/json.h"
#include "cli/run_records.h"
#include "host/records/reader.h"
#include "host/records/record_csv.h"

namespace cli {
namespace {

constexpr size_t kTableLimit = 200;  // the plain table's newest rows; --csv and --json give all

records::Query QueryOf(const Options& o) {
  records::Query q;
  int64_t ms = 0;
  if (!o.since.empty() && records::ParseTime(o.since, ms)) q.sinceMs = ms;
  q.serial = o.serial;
  q.station = o.station;
  q.verdict = o.verdict;
  q.simulated = o.simulated;
  q.limit = o.csv || o.json ? 0 : kTableLimit;
  return q;
}

std::string JsonOf(const records::Record& r) {
  return JsonObject()
      .Add("event", "record")
      .Add("id", r.id)
      .Add("started_utc", records::IsoUtc(r.startMs))
      .Add("ended_utc", r.endMs != 0 ? records::IsoUtc(r.endMs) : "")
      .Add("station", r.station)
      .Add("job", r.job)
      .Add("user", r.user)
      .Add("port", r.phone.port)
      .Add("usb_path", r.phone.usbPath)
      .Add("usb_serial", r.phone.usbSerial)
      .Add("phone_pid", r.phone.pid)
      .Add("model_name", r.phone.modelName)
      .Add("mode", r.mode)
      .Add("verdict", r.verdict)
      .Add("reason", r.reason)
      .Add("state", r.state)
      .Add("simulated", r.simulated)
      .Text();
}

// Pads to `width` columns as a terminal shows them: a UTF-8 character is one column however many
// bytes it takes.
std::string Padded(const std::string& text, size_t width) {
  size_t columns = 0;
  for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return text + std::string(columns < width ? width - columns : 0, ' ') + "  ";
}

std::string TableLine(const std::vector<std::string>& cells) {
  static const size_t kWidths[] = {19, 12, 22, 18, 8, 11};
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    line += i < std::size(kWidths) ? Padded(cells[i], kWidths[i]) : cells[i];
  }
  return line;
}

// A record with its files and lines, for `records show --json`.
std::string DetailJsonOf(const records::Record& r) {
  std::string files = "[";
  for (const records::FileRun& f : r.files) {
    files += (files.size() > 1 ? "," : "") + JsonObject()
                                                 .Add("path", f.path)
                                                 .Add("size", f.size)
                                                 .Add("sha256", f.sha256)
                                                 .Add("hashed_bytes", f.hashedBytes)
                                                 .Add("partial", f.partial)
                                                 .Add("step", f.stepKind)
                                                 .Add("acked_bytes", f.ackedBytes)
                                                 .Add("duration_ms", f.durationMs)
                                                 .Add("result", f.result)
                                                 .Text();
  }
  std::string lines = "[";
  for (const std::string& line : r.lines) lines += (lines.size() > 1 ? "," : "") + JsonString(line);
  std::string object = JsonOf(r);
  object.pop_back();  // the closing brace: the files and lines go inside
  return object + ",\"files\":" + files + "],\"lines\":" + lines + "]}";
}

void ShowTable(Console& console, const std::vector<records::Record>& found) {
  console.Note(TableLine(records::TableHeader()));
  for (const records::Record& r : found) console.Note(TableLine(records::TableCells(r)));
  if (found.empty()) console.Note("No records match.");
}

void Show(Console& console, const Options& o, const std::vector<records::Record>& found) {
  if (o.json) {
    for (const records::Record& r : found) console.JsonLine(JsonOf(r));
  } else if (o.csv) {
    console.DataLine(records::CsvHeader());
    for (const records::Record& r : found) console.DataLine(records::CsvRow(r));
  } else {
    ShowTable(console, found);
  }
}

// The first line of the answer, out of the way of data a script parses.
void SayOrigin(Console& console, const Options& o, const std::string& text) {
  if (o.json) return console.JsonLine(JsonObject().Add("event", "source").Add("text", text).Text());
  if (o.csv) return console.Hint(text);
  console.Note(text);
}

int Sync(const records::Settings& s, Console& console) {
  if (s.server.empty()) {
    console.Error("no records server is set: [Records] Server in Tarvex.ini, or --records");
    return kExitUsage;
  }
  records::Recorder recorder({s.file, s.server, s.keepDays}, nullptr);
  if (const std::string problem = recorder.Problem(); !problem.empty()) {
    console.Error(problem);
    return kExitRunFailed;
  }
  recorder.Deliver();
  if (const std::string problem = recorder.WaitDelivered(); !problem.empty()) {
    console.Error(problem);
    return kExitRunFailed;
  }
  console.Note("Every record of this station is on the line's server.");
  return kExitOk;
}

}  // namespace

int RunRecordsCommand(const Options& o, Console& console, const Environment& environment) {
  if (!records::Built()) {
    console.Error("records are not part of this build");
    return kExitPlugin;
  }
  const records::Settings s = RecordSettings(o, environment);
  if (s.file.empty() && s.server.empty()) {
    console.Error("no record file: set [Records] File in Tarvex.ini");
    return kExitUsage;
  }
  if (!o.files.empty() && o.files[0] == "sync") return Sync(s, console);
  records::Reader source(s);
  if (!source.Origin().empty()) SayOrigin(console, o, source.Origin());
  if (!source.Problem().empty()) {
    console.Error(source.Problem());
    return kExitRunFailed;
  }
  if (o.files.empty()) {
    Show(console, o, source.Find(QueryOf(o)));
    return kExitOk;
  }
  const std::optional<records::Record> r = source.Get(o.files[1]);
  if (!r) {
    console.Error("no record has the id " + o.files[1] + " (or more than one begins with it)");
    return kExitRunFailed;
  }
  if (o.json) {
    console.JsonLine(DetailJsonOf(*r));
  } else {
    for (const std::string& line : records::DetailLines(*r)) console.Note(line);
  }
  return kExitOk;
}

}  // namespace cli
