#include "host/settings.h"

#include <charconv>
#include <filesystem>
#include <fstream>

#include "corvane/platform/file_status.h"
#include "corvane/platform/path.h"
#include "corvane/platform/process.h"
#include "corvane/platform/shared_library.h"

namespace settings {
namespace fs = std::filesystem;
using platform::PathOf;
using platform::Utf8Of;
namespace {

constexpr const char* kEraseSection = "Erase Option";
constexpr const char* kDllSection = "dll path save";
constexpr const char* kFilesSection = "File Lists";
constexpr const char* kValue = "Value";

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(PathOf(path), ec);
}

// A relative entry names a file beside the program, wherever the program was started from: the
// current directory may be anybody's, and a plug-in found there would run its code.
std::string Resolved(const std::string& path, const std::string& programDirectory) {
  if (path.empty() || PathOf(path).is_absolute()) return path;
  return Utf8Of((PathOf(programDirectory) / PathOf(path)).lexically_normal());
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

// Tried rather than asked: permissions, read-only mounts and root's rights all decide it.
bool CanWriteHere(const std::string& path) {
  std::error_code ec;
  const fs::path here = PathOf(path);
  if (!fs::exists(here, ec)) return false;
  if (!fs::is_directory(here, ec)) {
    std::string why;
    return platform::MayWrite(path, why);
  }
  const fs::path probe = here / (".tarvex-write-test-" + std::to_string(platform::ProcessId()));
  const bool made = static_cast<bool>(std::ofstream(probe));
  fs::remove(probe, ec);
  return made;
}

std::string DefaultPluginPath(const std::string& programDirectory) {
  return (programDirectory.empty() ? std::string(".") : programDirectory) + "/model" +
         platform::kLibrarySuffix;
}

std::string Directory(const std::string& programDirectory, const std::string& userConfigDirectory) {
  return Locate(programDirectory, userConfigDirectory).directory;
}

Location Locate(const std::string& programDirectory, const std::string& userConfigDirectory,
                const CanWrite& canWrite) {
  const fs::path program = PathOf(programDirectory).lexically_normal();
  const std::string programFile = Utf8Of(program / kFileName);
  const bool programOwn =
      !programDirectory.empty() && !platform::InSystemProgramDirectory(programDirectory) &&
      canWrite(programDirectory) && (!Exists(programFile) || canWrite(programFile));
  if (programOwn) return {programDirectory, programDirectory, ""};
  const fs::path config = PathOf(userConfigDirectory) / "tarvex";
  std::error_code ec;
  fs::create_directories(config, ec);
  const std::string configDirectory = Utf8Of(config);
  const std::string configFile = Utf8Of(config / kFileName);
  if (programDirectory.empty() || !Exists(programFile) || Exists(configFile)) {
    return {configDirectory, configDirectory, ""};
  }
  return {
      configDirectory, programDirectory,
      programFile + " cannot be written: changes to the settings will be saved to " + configFile};
}

Kept Load(CIniFile& ini, const std::string& readDirectory, const std::string& directory,
          const std::string& programDirectory) {
  const std::string readPath = Utf8Of(PathOf(readDirectory) / kFileName);
  const std::string path = Utf8Of(PathOf(directory) / kFileName);
  Kept kept;
  kept.dllPath = DefaultPluginPath(programDirectory);
  if (Exists(readPath) && ini.Load(readPath) == 0) {
    kept.problem = readPath + ": " + ini.Reason();
  }
  ini.WriteTo(path);
  kept.eraseOption = EraseOptionOf(ini.GetString(kEraseSection, kValue));
  const std::string dll = Resolved(ini.GetString(kDllSection, kValue), programDirectory);
  if (Exists(dll)) kept.dllPath = dll;
  return kept;
}

int EraseOptionOf(const std::string& value) {
  int n = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, n);
  return error == std::errc() && stop == end && n >= 0 && n <= 7 ? n : 0;
}

std::vector<std::string> ListedFiles(const CIniFile& ini, const std::string& programDirectory) {
  std::vector<std::string> files;
  for (int n = 1; n <= kListedFiles; ++n) {
    const std::string path = ini.GetString(kFilesSection, std::to_string(n));
    if (!path.empty()) files.push_back(Resolved(path, programDirectory));
  }
  return files;
}

std::string Unkeepable(const std::string& path) {
  if (path.find_first_of("\r\n") == std::string::npos) return "";
  return Escaped(path) + ": a file name with a line break cannot be kept in the settings";
}

std::string Save(CIniFile& ini, const Kept& kept, const std::vector<std::string>& slotPaths) {
  ini.SetInt(kEraseSection, kValue, kept.eraseOption);
  ini.SetString(kDllSection, kValue, kept.dllPath);
  for (int n = 1; n <= kListedFiles; ++n) {
    const size_t slot = static_cast<size_t>(n - 1);
    ini.SetString(kFilesSection, std::to_string(n), slot < slotPaths.size() ? slotPaths[slot] : "");
  }
  if (ini.Write() == 1) return "";
  return "The settings could not be saved to " + ini.Path() + ": " + ini.Reason();
}

}  // namespace settings
