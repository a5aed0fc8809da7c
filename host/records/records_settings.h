#pragma once

#include <string>

#include "host/ini_file.h"

// The records' settings: the [Records] section of "Tarvex.ini", which both front ends read, with
// the command line's --station, --job and --records over it.
namespace records {

inline constexpr const char* kSection = "Records";
inline constexpr const char* kFileName = "records.sqlite";
inline constexpr int kKeepDays = 90;
inline constexpr const char* kNoFile = "none";  // File=none: a bench that keeps no records

struct Settings {
  std::string station;       // Station; the host name when not set
  std::string job;           // Job: a label a line gives its batch
  std::string server;        // Server: the line's PostgreSQL connection string
  std::string file;          // File: the local record file; "" (File=none) keeps no records
  int keepDays = kKeepDays;  // KeepDays: how long delivered records stay on this station
  bool required = false;     // Required: a run refuses to start when its record cannot be written
};

// "tarvex/records.sqlite" in the user's data directory, or beside the program for a portable
// install (whose settings also live beside it: `settingsDirectory` is the program's then).
std::string DefaultFile(const std::string& programDirectory, const std::string& settingsDirectory,
                        const std::string& userDataDirectory);

// The settings in `ini`, the defaults for what it lacks. A relative File is taken from
// `iniDirectory`, the directory of the "Tarvex.ini" read, never from the working directory.
Settings SettingsOf(const CIniFile& ini, const std::string& defaultFile,
                    const std::string& iniDirectory = "");

}  // namespace records
