#pragma once

#include <string>
#include <vector>

#include "host/ini_file.h"

// The host's three kept settings (plug-in path, erase options, file list) and where they live.
namespace settings {

inline constexpr const char* kFileName = "Tarvex.ini";
inline constexpr const char* kLogFileName = "Log.rtf";
inline constexpr int kListedFiles = 20;

// The model plug-in beside the program: the host's default.
std::string DefaultPluginPath(const std::string& programDirectory);

// Where "Tarvex.ini" and "Log.rtf" live: the program's directory for a portable install (one
// outside the system's /usr that this user may write), else "tarvex" in the user's configuration
// directory (created), also for root, so an installed program never writes below /usr.
std::string Directory(const std::string& programDirectory, const std::string& userConfigDirectory);

struct Kept {
  int eraseOption = 0;  // bit 0 entire AP, bit 1 entire CP, bit 2 user data
  std::string dllPath;
};

// Reads "Tarvex.ini" from `directory` into `ini`. A missing file is created empty and gives the
// defaults; the store keeps its path either way, so the first run's settings are written too.
// A missing or stale plug-in path falls back to the plug-in beside the program.
Kept Load(CIniFile& ini, const std::string& directory, const std::string& programDirectory);

// The listed files ("File Lists" 1 to 20) that still exist, in list order; others are dropped
// without a word.
std::vector<std::string> ListedFiles(const CIniFile& ini);

// Puts the settings into the store and writes it (slot order is download order; a free slot is
// written as an empty value). Returns CIniFile::Write's result.
int Save(CIniFile& ini, const Kept& kept, const std::vector<std::string>& slotPaths);

}  // namespace settings
