#pragma once

#include <functional>
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
// outside the system's program directories, /usr or Program Files, that this user may write),
// else "tarvex" in the user's configuration directory (created), also for root or an
// administrator, so an installed program never writes beside itself.
std::string Directory(const std::string& programDirectory, const std::string& userConfigDirectory);

// Where the settings are read at start and written at the end.
struct Location {
  std::string directory;      // where "Tarvex.ini" (and "Log.rtf") are written
  std::string readDirectory;  // where "Tarvex.ini" is read: `directory`, or the program's
  std::string notice;         // to be said once at start; "" for none
};

// Whether this user may write a file or create files in a directory.
using CanWrite = std::function<bool(const std::string& path)>;
bool CanWriteHere(const std::string& path);

// Directory()'s choice, except that a "Tarvex.ini" in the program's directory that this user
// cannot change is still read (while the configuration directory holds none of its own), the
// changes going to the configuration directory, which the notice names.
Location Locate(const std::string& programDirectory, const std::string& userConfigDirectory,
                const CanWrite& canWrite = CanWriteHere);

struct Kept {
  int eraseOption = 0;  // bit 0 entire AP, bit 1 entire CP, bit 2 user data
  std::string dllPath;
  std::string problem;  // why the file could not be read; "" when it was (or did not exist)
};

// Reads "Tarvex.ini" from `readDirectory` into `ini`, whose path becomes the one in `directory`.
// A missing file gives the defaults (the first run's settings are written all the same). A
// missing or stale plug-in path falls back to the plug-in beside the program; a relative one is
// taken from the program's directory, never from the directory the program was started in.
Kept Load(CIniFile& ini, const std::string& readDirectory, const std::string& directory,
          const std::string& programDirectory);

// The erase options of a kept value: a decimal number from 0 to 7, anything else 0.
int EraseOptionOf(const std::string& value);

// The listed files ("File Lists" 1 to 20) in list order, relative ones taken from the program's
// directory. Files that are missing are listed all the same: a stick not mounted yet must not
// cost the user the list.
std::vector<std::string> ListedFiles(const CIniFile& ini, const std::string& programDirectory);

// "" when `path` may be kept in the settings, else the message that refuses it: a line break
// would split its entry into others on the next read.
std::string Unkeepable(const std::string& path);

// Puts the settings into the store and writes it (slot order is download order; a free slot is
// written as an empty value). "" on success, else the line that says where and why it failed:
// "The settings could not be saved to <path>: <reason>".
std::string Save(CIniFile& ini, const Kept& kept, const std::vector<std::string>& slotPaths);

}  // namespace settings
