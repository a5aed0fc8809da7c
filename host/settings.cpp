#include "host/settings.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "corvane/platform/process.h"

namespace settings {
namespace fs = std::filesystem;
namespace {

constexpr const char* kEraseSection = "Erase Option";
constexpr const char* kDllSection = "dll path save";
constexpr const char* kFilesSection = "File Lists";
constexpr const char* kValue = "Value";

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec);
}

bool UnderUsr(const fs::path& directory) {
  const fs::path usr("/usr");
  const auto [end, rest] =
      std::mismatch(usr.begin(), usr.end(), directory.begin(), directory.end());
  return end == usr.end();
}

// Whether this user may create files in `directory`: tried, since permissions, read-only mounts
// and root's rights all decide it.
bool Writable(const fs::path& directory) {
  const fs::path probe =
      directory / (".tarvex-write-test-" + std::to_string(platform::ProcessId()));
  const bool made = static_cast<bool>(std::ofstream(probe));
  std::error_code ec;
  fs::remove(probe, ec);
  return made;
}

}  // namespace

std::string DefaultPluginPath(const std::string& programDirectory) {
  return (programDirectory.empty() ? std::string(".") : programDirectory) + "/model.so";
}

std::string Directory(const std::string& programDirectory, const std::string& userConfigDirectory) {
  const fs::path program = fs::path(programDirectory).lexically_normal();
  if (!programDirectory.empty() && !UnderUsr(program) && Writable(program)) {
    return programDirectory;
  }
  const fs::path config = fs::path(userConfigDirectory) / "tarvex";
  std::error_code ec;
  fs::create_directories(config, ec);
  return config.string();
}

Kept Load(CIniFile& ini, const std::string& directory, const std::string& programDirectory) {
  const std::string path = (fs::path(directory) / kFileName).string();
  if (!Exists(path)) std::ofstream{path};  // a first start leaves an empty file
  ini.Load(path);
  Kept kept;
  kept.dllPath = DefaultPluginPath(programDirectory);
  kept.eraseOption = ini.GetInt(kEraseSection, kValue);
  const std::string dll = ini.GetString(kDllSection, kValue);
  if (Exists(dll)) kept.dllPath = dll;
  return kept;
}

std::vector<std::string> ListedFiles(const CIniFile& ini) {
  std::vector<std::string> files;
  for (int n = 1; n <= kListedFiles; ++n) {
    const std::string path = ini.GetString(kFilesSection, std::to_string(n));
    if (Exists(path)) files.push_back(path);
  }
  return files;
}

int Save(CIniFile& ini, const Kept& kept, const std::vector<std::string>& slotPaths) {
  ini.SetInt(kEraseSection, kValue, kept.eraseOption);
  ini.SetString(kDllSection, kValue, kept.dllPath);
  for (int n = 1; n <= kListedFiles; ++n) {
    const size_t slot = static_cast<size_t>(n - 1);
    ini.SetString(kFilesSection, std::to_string(n), slot < slotPaths.size() ? slotPaths[slot] : "");
  }
  return ini.Write();
}

}  // namespace settings
