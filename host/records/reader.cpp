#include "host/records/reader.h"

#include "host/records/record_csv.h"

namespace records {

Reader::Reader(const Settings& s) {
  std::string error;
  if (!s.server.empty()) {
    server_ = ServerStore::Connect(s.server, error);
    if (server_) {
      origin_ = "Records from the line's server";
      return;
    }
    origin_ = error + "; the records of this station instead";
  }
  if (s.file.empty()) {
    problem_ = "This station keeps no records (File=none in the [Records] settings)";
    return;
  }
  local_ = LocalStore::OpenToRead(s.file, error);
  if (!local_) problem_ = "No records can be read from " + s.file + ": " + error;
  if (local_ && origin_.empty()) origin_ = "Records of this station (" + s.file + ")";
}

std::vector<Record> Reader::Find(const Query& query) {
  std::string error;
  if (server_) return server_->Find(query, error);
  return local_ ? local_->Find(query) : std::vector<Record>{};
}

std::optional<Record> Reader::Get(const std::string& id) {
  std::string error;
  if (server_) return server_->Get(id, error);
  return local_ ? local_->Get(id) : std::nullopt;
}

std::vector<std::string> DetailLines(const Record& r) {
  const std::string verdict = VerdictText(r);
  std::vector<std::string> lines = {
      "Record " + r.id + (r.simulated ? " (simulated phone)" : ""),
      "  Started   " + LocalTime(r.startMs) + "   " + DurationText(r),
      "  Station   " + r.station + (r.job.empty() ? "" : "   job " + r.job) + "   user " + r.user,
      r.phone.port.empty() ? "  Phone     none: the run never reached one"
                           : "  Phone     " + r.phone.port + "   serial/PID " + SerialOrPid(r) +
                                 (r.phone.usbPath.empty() ? "" : "   USB " + r.phone.usbPath) +
                                 (r.phone.modelName.empty() ? "" : "   " + r.phone.modelName),
      "  Tool      " + r.tool + " " + r.toolVersion + ", " + r.plugin + " " + r.pluginVersion +
          ", mode " + r.mode,
      "  Verdict   " + verdict + (r.reason.empty() ? "" : ": " + r.reason)};
  for (const FileRun& f : r.files) {
    lines.push_back("  File      " + (f.path.empty() ? "(no file)" : f.path) + "  " +
                    std::to_string(f.size) + " bytes  " + f.stepKind + " " + f.result);
    if (!f.sha256.empty()) {
      lines.push_back(
          "    sha256  " + f.sha256 +
          (f.partial ? "  (partial: " + std::to_string(f.hashedBytes) + " bytes)" : ""));
    }
  }
  for (const std::string& line : r.lines) lines.push_back("  | " + line);
  return lines;
}

bool Built() {
#ifdef TARVEX_NO_RECORDS
  return false;
#else
  return true;
#endif
}

}  // namespace records
