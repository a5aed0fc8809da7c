#include "host/records/records_settings.h"

#include <filesystem>

#include "corvane/platform/process.h"

namespace records {

std::string DefaultFile(const std::string& programDirectory, const std::string& settingsDirectory,
                        const std::string& userDataDirectory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!programDirectory.empty() && fs::equivalent(programDirectory, settingsDirectory, ec)) {
    return (fs::path(programDirectory) / kFileName).string();
  }
  if (userDataDirectory.empty()) return "";
  const fs::path directory = fs::path(userDataDirectory) / "tarvex";
  fs::create_directories(directory, ec);
  return (directory / kFileName).string();
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
  } else if (std::filesystem::path(s.file).is_relative() && !iniDirectory.empty()) {
    s.file = (std::filesystem::path(iniDirectory) / s.file).string();
  }
  const int days = ini.GetInt(kSection, "KeepDays");
  if (days > 0) s.keepDays = days;
  const std::string required = ini.GetString(kSection, "Required");
  s.required = required == "1" || required == "yes" || required == "true";
  return s;
}

}  // namespace records
