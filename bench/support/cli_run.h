#pragma once

// What the benchmarks that measure a host process against phones living in the bench share: a
// private directory (its runtime directory, where the phones are announced), the sample firmware
// sizes, and tarvex-cli run as a child process with its JSON lines read back.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corvane/platform/process.h"
#include "sim/builders/sample_firmware.h"

namespace bench_support {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct PhoneRun {
  bool ok = false;
  double seconds = 0;
  uint64_t bytes = 0;
  double pausedSeconds = 0;                    // the sequence's own pauses in the whole run
  std::map<std::string, double> pausedByKind;  // ... in the steps of each kind ("partition")

  double PausedIn(const std::string& kind) const {
    const auto found = pausedByKind.find(kind);
    return found == pausedByKind.end() ? 0 : found->second;
  }
};

struct HostRun {
  int status = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  std::map<std::string, PhoneRun> phones;  // by port name (ptsN)
};

// "ptsN" for /dev/pts/N: the name tarvex-cli gives a port.
inline std::string PortName(const std::string& path) {
  const fs::path p(path);
  return p.parent_path().filename().string() + p.filename().string();
}

// The value after "key": in one JSON line (numbers and plain names only).
inline std::string RawField(const std::string& line, const char* key) {
  const std::string tag = std::string("\"") + key + "\":";
  const size_t at = line.find(tag);
  if (at == std::string::npos) return "";
  const size_t from = at + tag.size();
  return line.substr(from, line.find_first_of(",}", from) - from);
}

inline double NumberField(const std::string& line, const char* key) {
  return std::atof(RawField(line, key).c_str());
}

inline std::string TextField(const std::string& line, const char* key) {
  const std::string quoted = RawField(line, key);
  return quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : "";
}

// The results and the summary from tarvex-cli's JSON lines.
inline void ReadCliJson(const std::string& path, HostRun& run) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("\"event\":\"result\"") != std::string::npos) {
      PhoneRun& p = run.phones[TextField(line, "name")];
      p.ok = line.find("\"ok\":true") != std::string::npos;
      p.seconds = NumberField(line, "seconds");
      p.bytes = static_cast<uint64_t>(NumberField(line, "bytes"));
      p.pausedSeconds = NumberField(line, "paused_seconds");
    } else if (line.find("\"event\":\"step\"") != std::string::npos &&
               line.find("\"phase\":\"end\"") != std::string::npos) {
      run.phones[TextField(line, "name")].pausedByKind[TextField(line, "kind")] +=
          NumberField(line, "paused_seconds");
    } else if (line.find("\"event\":\"summary\"") != std::string::npos) {
      run.cpuSeconds = NumberField(line, "cpu_seconds");
    }
  }
}

// Runs `program` (a path, or a name beside this one) with `arguments` and `files` quoted after
// them, its runtime directory `dir` (so it looks for phones where this process announces them);
// standard output goes to dir/<name>.out, standard error to dir/<name>.err. Returns the exit
// status and the wall time.
inline HostRun RunChild(const fs::path& dir, const std::string& name, const fs::path& program,
                        const std::string& arguments, const std::vector<std::string>& files) {
  const fs::path path =
      program.has_parent_path() ? program : fs::path(platform::ExecutableDirectory()) / program;
  std::string command =
      "XDG_RUNTIME_DIR='" + dir.string() + "' '" + path.string() + "' " + arguments;
  for (const std::string& f : files) command += " '" + f + "'";
  command +=
      " >'" + (dir / (name + ".out")).string() + "' 2>'" + (dir / (name + ".err")).string() + "'";
  HostRun run;
  const auto t0 = Clock::now();
  run.status = std::system(command.c_str());
  run.wallSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
  return run;
}

// A portable install of tarvex-cli in `directory`: the program, the library and the plug-in
// copied beside a "Tarvex.ini" whose [Records] File is `recordsFile` ("none" keeps no records), so
// that a bench compares runs with and without records, and none lands in the build tree. Returns
// the program's path.
inline fs::path PortableCli(const fs::path& directory, const std::string& recordsFile) {
  const fs::path from = platform::ExecutableDirectory();
  fs::create_directories(directory);
  for (const char* file : {"tarvex-cli", "libCorvane.so", "model.so", "usb-descriptions.txt"}) {
    fs::copy_file(from / file, directory / file, fs::copy_options::overwrite_existing);
  }
  std::ofstream(directory / "Tarvex.ini") << "[Records]\nFile=" << recordsFile << "\n";
  return directory / "tarvex-cli";
}

// tarvex-cli (`program`: a PortableCli, or the one beside this bench) with `arguments` (which
// should ask for --json) and the files.
inline HostRun RunCli(const fs::path& dir, const std::string& arguments,
                      const std::vector<std::string>& files,
                      const fs::path& program = "tarvex-cli") {
  HostRun run = RunChild(dir, "host", program, arguments, files);
  ReadCliJson((dir / "host.out").string(), run);
  return run;
}

inline fs::path MakeDirectory(const std::string& prefix) {
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() / (prefix + std::to_string(random()));
  fs::create_directories(dir);
  return dir;
}

// The sample set with a system image of `systemMiB` (the largest partition) and sizes that are
// not whole sectors.
inline phonesim::builders::SampleFirmwareOptions FirmwareSizes(uint64_t systemMiB) {
  phonesim::builders::SampleFirmwareOptions sizes;
  sizes.systemBytes = (systemMiB << 20) + 333;
  sizes.bootBytes = (4u << 20) + 1000;
  sizes.recoveryBytes = (2u << 20) + 77;
  sizes.modemCodeBytes = 256u << 10;
  return sizes;
}

}  // namespace bench_support
