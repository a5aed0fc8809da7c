#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/console.h"
#include "cli/job.h"
#include "cli/options.h"
#include "cli/plugin.h"
#include "cli/ports.h"
#include "host/image_store.h"
#include "host/port_diagnosis.h"

// The commands of tarvex-cli, one file each, and the little they share: a session (session.cpp)
// loads the plug-in, attaches simulated phones, has the command build its job, runs the phones
// and ends with the summary; `ports` and `doctor` only report.
namespace cli {

// How often discovery looks for phone ports while a command waits.
constexpr uint64_t kPollMs = 250;

// What a command builds its job from and where it reports a refusal.
struct JobContext {
  const Options& options;
  Console& console;
  const Plugin& plugin;
  CImageStore& store;
  Job& job;

  // Prints `why` as an error; returns the usage status.
  int Refuse(const std::string& why) const;
  // Every file must be readable before any phone is touched; their sizes feed the estimate.
  int CheckAndSize(const std::vector<std::string>& files) const;
};

// Each command's job, checked before a phone is touched: kExitOk or the status to end with.
int BuildDownload(const JobContext& context);  // download.cpp
int BuildFactory(const JobContext& context);   // factory.cpp
int BuildMdm(const JobContext& context);       // mdm.cpp
int BuildUpload(const JobContext& context);    // upload.cpp

// After an interrupted run, what the command's runs may have left beside the user's files
// (upload.cpp: the upload's partial file).
void RemoveLeftovers(const Job& job);

// Where a built job runs: the phone found or named (session.cpp), or every phone (multi.cpp).
struct PhoneRun {
  const Options& options;
  Console& console;
  const Exports& exports;
  const Job& job;
  DiscoverFn discover;
  const platform::Cancellation* interrupt;  // Ctrl-C, SIGTERM (null: never)
};
int RunOnePhone(const PhoneRun& run, std::vector<PhoneResult>& results);
int RunEveryPhone(const PhoneRun& run, std::vector<PhoneResult>& results);

// download, factory, mdm, upload and multi (session.cpp).
int RunSession(const Options& options, Console& console, const Environment& environment);
// records (records.cpp): the records of past runs.
int RunRecordsCommand(const Options& options, Console& console, const Environment& environment);
// ports (ports.cpp).
int RunPorts(const Options& options, Console& console, const Environment& environment);
// doctor (doctor.cpp): kExitOk when every phone port can be used, kExitRunFailed otherwise.
int RunDoctor(Console& console);

// What ports and doctor both show (ports.cpp): "1d6b:0106 if 0", problems as a JSON list, and
// the system's part of the report as the JSON "system" event.
std::string UsbId(const SerialPortEntry& entry);
std::string ProblemsJson(const std::vector<diagnosis::Problem>& problems);
std::string SystemJson(const diagnosis::Report& report);

// Shared helpers (session.cpp).
std::string Absolute(const std::string& path);
uint64_t SizeOf(const std::string& path);  // 0 when it cannot be sized
std::optional<uint64_t> WaitMs(const Options& options);
std::string WaitText(const Options& options);  // " within N s", "" without a limit

}  // namespace cli
