#include "host/records/records_settings.h"

#include <filesystem>

#include "corvane/platform/path.h"
#include "corvane/platform/process.h"

namespace records {

std::string DefaultFile(const std::string& programDirectory, const std::string& settingsDirectory,
                        const std::string& userDataDirectory) {
  namespace fs = std::filesystem;
  using platform::PathOf;
  std::error_code ec;
  const fs::path program = PathOf(programDirectory);
  if (!programDirectory.empty() && fs::equivalent(program, PathOf(settingsDirectory), ec)) {
    return platform::Utf8Of(program / kFileName);
  }
  if (userDataDirectory.empty()) return "";
  const fs::path directory = PathOf(userDataDirectory) / "tarvex";
  fs::create_directories(directory, ec);
  return platform::Utf8Of(directory / kFileName);
}

Settings SettingsOf(const CIniFile& ini, const std::string& defaultFile,
                    const std::string& iniDirectory) {
  Settings s;
  s.station = ini.GetString(kSection, "Station");
  if (s.station.empty()) s.station = platform::HostName();
  s.job = ini.GetString(kSection, "Job");
  s.server = ini.GetString(kSection, "Server");
  s.file = ini.GetString(kSection, "File");
  if (s.file == kNoFile) {
    s.file.clear();
  } else if (s.file.empty()) {
    s.file = defaultFile;
  } else if (platform::PathOf(s.file).is_relative() && !iniDirectory.empty()) {
    s.file = platform::Utf8Of(platform::PathOf(iniDirectory) / platform::PathOf(s.file));
  }
  const int days = ini.GetInt(kSection, "KeepDays");
  if (days > 0) s.keepDays = days;
  const std::string required = ini.GetString(kSection, "Required");
  s.required = required == "1" || required == "yes" || required == "true";
  return s;
}

}  // namespace records
