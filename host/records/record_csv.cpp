#include "host/records/record_csv.h"

#include <cstdio>

namespace records {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string CsvHeader() {
  return "id,started_utc,ended_utc,duration_s,station,job,user,port,usb_path,usb_ids,usb_serial,"
         "phone_pid,model_name,mode,erase,verdict,reason,state,tool_version,plugin,plugin_version,"
         "simulated";
}

std::string CsvRow(const Record& r) {
  char seconds[32] = "";
  if (r.endMs != 0) {
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(r.endMs - r.startMs) / 1e3);
  }
  const std::vector<std::string> fields = {r.id,
                                           IsoUtc(r.startMs),
                                           r.endMs != 0 ? IsoUtc(r.endMs) : "",
                                           seconds,
                                           r.station,
                                           r.job,
                                           r.user,
                                           r.phone.port,
                                           r.phone.usbPath,
                                           r.phone.usbIds,
                                           r.phone.usbSerial,
                                           r.phone.pid,
                                           r.phone.modelName,
                                           r.mode,
                                           std::to_string(r.erase),
                                           r.verdict,
                                           r.reason,
                                           r.state,
                                           r.toolVersion,
                                           r.plugin,
                                           r.pluginVersion,
                                           r.simulated ? "1" : "0"};
  std::string row;
  for (const std::string& f : fields) row += (row.empty() ? "" : ",") + CsvField(f);
  return row;
}

std::vector<std::string> TableHeader() {
  return {"TIME", "STATION", "PORT", "SERIAL/PID", "MODE", "VERDICT", "DURATION"};
}

std::vector<std::string> TableCells(const Record& r) {
  return {LocalTime(r.startMs), r.station,      r.phone.port, SerialOrPid(r), r.mode,
          VerdictText(r),       DurationText(r)};
}

std::string VerdictText(const Record& r) { return r.state == kInterrupted ? r.state : r.verdict; }

std::string SerialOrPid(const Record& r) {
  if (!r.phone.usbSerial.empty()) return r.phone.usbSerial;
  return r.phone.pid.empty() ? "—" : r.phone.pid;
}

std::string DurationText(const Record& r) {
  if (r.endMs == 0) return "—";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(r.endMs - r.startMs) / 1e3);
  return text;
}

}  // namespace records
