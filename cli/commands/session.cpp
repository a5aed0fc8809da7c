// What the commands that run phones share: the plug-in and its entry points, the simulated
// phones, the job built by the command, the run on one phone, the summary and the check of the
// simulated phones.

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "cli/commands/commands.h"
#include "cli/run_records.h"
#include "cli/simulation.h"
#include "corvane/platform/path.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The pre-flight's message, one line per refusal. A line break within one of the run's own file
// names belongs to that name (the console shows it escaped), so it does not end a line.
std::vector<std::string> MessageLines(const std::string& message,
                                      const std::vector<std::string>& files) {
  std::vector<bool> inName(message.size(), false);
  for (const std::string& f : files) {
    if (f.find('\n') == std::string::npos) continue;
    for (size_t at = message.find(f); at != std::string::npos; at = message.find(f, at + 1)) {
      std::fill_n(inName.begin() + static_cast<long>(at), f.size(), true);
    }
  }
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] != '\n' || inName[i]) {
      lines.back() += message[i];
    } else if (!lines.back().empty()) {
      lines.emplace_back();
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

// A file that a run needs: it must exist and be readable before any phone is touched.
std::string CheckReadable(const std::string& path) {
  std::error_code ec;
  const fs::path file = platform::PathOf(path);
  if (!fs::exists(file, ec)) return path + ": no such file";
  if (!fs::is_regular_file(file, ec)) return path + ": not a regular file";
  if (!std::ifstream(path, std::ios::binary)) return path + ": cannot be read";
  return "";
}

class Session {
 public:
  Session(Options options, Console& console, const Environment& env)
      : o_(std::move(options)), console_(console), env_(env), cpuStart_(CpuSeconds()) {}

  int Run() {
    if (int status = LoadPlugin(); status != kExitOk) return status;
    if (int status = Simulate(); status != kExitOk) return status;
    if (int status = BuildJob(); status != kExitOk) return status;
    if (int status = PrepareRecords(); status != kExitOk) return status;
    if (int status = CheckFiles(); status != kExitOk) return status;
    std::vector<PhoneResult> results;
    const PhoneRun run{o_, console_, *exports_, job_, Discovery(), env_.interrupt};
    const int status = o_.multi ? RunEveryPhone(run, results) : RunOnePhone(run, results);
    // Interrupted: every run started has ended (cancelled), so the summary is the truth; the
    // simulated phones, their port announcements and the sample set go with this session.
    if (const int interrupted = Interrupted(); interrupted != 0) {
      RemoveLeftovers(job_);
      console_.Summary(results, CpuSeconds() - cpuStart_, simulation_ != nullptr);
      return interrupted;
    }
    if (status != kExitOk) return status;
    console_.Summary(results, CpuSeconds() - cpuStart_, simulation_ != nullptr);
    const bool verified = VerifySimulated(results);
    bool ok = !results.empty();
    for (const PhoneResult& r : results) ok = ok && r.ok;
    return ok && verified ? kExitOk : kExitRunFailed;
  }

 private:
  int LoadPlugin() {
    const std::string path =
        o_.plugin.empty() ? DefaultPluginPath(env_.programDirectory) : o_.plugin;
    std::string error;
    plugin_ = Plugin::Load(path, error);
    if (!plugin_) {
      console_.Error("cannot load the plug-in " + path + ": " + error);
      return kExitPlugin;
    }
    std::string lacking;
    exports_ = Exports::For(*plugin_, o_.command, lacking);
    if (!exports_) {
      console_.Error(lacking);
      return kExitPlugin;
    }
    return kExitOk;
  }

  int Simulate() {
    if (o_.simulate == 0) return kExitOk;
    std::string error;
    const int status = Simulation::Start(o_, env_.programDirectory, simulation_, error);
    if (status != kExitOk) {
      console_.Error(error);
      return status;
    }
    if (simulation_->HasSample()) {
      o_.files = simulation_->Files();
      console_.Note("Sample firmware written to " + simulation_->Directory());
    }
    for (const std::string& path : simulation_->DevicePaths()) {
      console_.Note("Simulated TQ4410 attached on " + path);
    }
    return kExitOk;
  }

  int BuildJob() {
    job_.command = o_.command;
    job_.options = o_.erase;
    job_.allowUnused = o_.allowUnused;
    const JobContext context{o_, console_, *plugin_, store_, job_};
    switch (o_.command) {
      case Command::kDownload:
        return BuildDownload(context);
      case Command::kFactory:
        return BuildFactory(context);
      case Command::kMdm:
        return BuildMdm(context);
      case Command::kUpload:
        return BuildUpload(context);
      default:
        return kExitUsage;
    }
  }

  // A line that must never ship an unrecorded phone sets "records required": then a record file
  // that cannot be written stops the command before any phone is touched.
  int PrepareRecords() {
    records_.Prepare(job_, plugin_->String(1), plugin_->String(2));
    if (const std::string refusal = records_.Refusal(); !refusal.empty()) {
      console_.Error(refusal);
      console_.Error("the download was not started");
      return kExitUsage;
    }
    job_.records = &records_;
    return kExitOk;
  }

  int Interrupted() const { return env_.interrupt != nullptr ? env_.interrupt->Reason() : 0; }

  // The plug-in reads every file with the readers its sequences use before a phone is touched,
  // so that a file it would refuse half-way (after erasing, or after writing the others), or one
  // that no step would write, stops the run here. A plug-in without that check is left to fail
  // in the run.
  int CheckFiles() {
    const FileCheck check = exports_->CheckFiles(job_);
    using V = FileCheck::Verdict;
    if (check.verdict == V::kUsable || check.verdict == V::kNoCheck) return kExitOk;
    if (check.verdict == V::kUnusedFiles && job_.allowUnused) return kExitOk;
    for (const std::string& line : MessageLines(check.message, job_.PhoneFiles())) {
      console_.Error(line);
    }
    records_.Refused(check.message);
    console_.Error(check.verdict == V::kUnusedFiles
                       ? "the download was not started (--allow-unused starts it all the same)"
                       : "the download was not started");
    return kExitUsage;
  }

  DiscoverFn Discovery() const {
    return PhoneDiscovery(simulation_ ? simulation_->DevicePaths() : std::set<std::string>{});
  }

  // Only the phones that ran are held to the sample set: one that --count left alone was never
  // meant to hold it, and failing the run for it would contradict the summary.
  bool VerifySimulated(const std::vector<PhoneResult>& results) {
    if (!simulation_) return true;
    if (!simulation_->HasSample()) {
      console_.Note("Verification: skipped (the phone was given files of your own)");
      return true;
    }
    std::set<std::string> ran;
    for (const PhoneResult& r : results) ran.insert(r.label.path);
    bool ok = true;
    for (const SimulatedCheck& c : simulation_->Verify()) {
      if (!ran.count(c.path) && o_.multi) {
        console_.Note("Verification: " + c.name + " skipped (no run was started on it)");
        continue;
      }
      const PhoneLabel phone{c.portNumber, c.name, c.path, "", "", "", ""};
      console_.Verification(phone, c.ok, c.lines, c.verdict);
      ok = ok && c.ok;
    }
    return ok;
  }

  Options o_;
  Console& console_;
  const Environment& env_;
  double cpuStart_;
  std::unique_ptr<Plugin> plugin_;
  std::optional<Exports> exports_;
  std::unique_ptr<simulation::Attached> simulation_;
  CImageStore store_;
  Job job_;
  RunRecords records_{o_, env_, console_};  // after the job: its workers use it to the end
};

}  // namespace

int JobContext::Refuse(const std::string& why) const {
  console.Error(why);
  return kExitUsage;
}

int JobContext::CheckAndSize(const std::vector<std::string>& files) const {
  for (const std::string& f : files) {
    if (std::string e = CheckReadable(f); !e.empty()) return Refuse(e);
    job.totalBytes += SizeOf(f);
  }
  return kExitOk;
}

int RunOnePhone(const PhoneRun& run, std::vector<PhoneResult>& results) {
  const Options& o = run.options;
  std::optional<SerialPortEntry> entry;
  if (!o.port.empty()) {
    NamedPort named = ResolvePort(o.port, run.discover);
    if (!named.entry) {
      run.console.Error(named.error);
      return kExitUsage;
    }
    entry = named.entry;
  } else {
    PortWatcher watcher(run.discover);
    entry = WaitForPhone(watcher, std::optional<uint64_t>(0), kPollMs, run.interrupt);
    if (!entry) {
      run.console.Note("Waiting for a phone port" + WaitText(o) + "...");
      entry = WaitForPhone(watcher, WaitMs(o), kPollMs, run.interrupt);
    }
    if (!entry && run.interrupt != nullptr && run.interrupt->IsCancelled()) return kExitOk;
    if (!entry) {
      run.console.Error("no phone port appeared" + WaitText(o));
      return kExitNoPhone;
    }
  }
  PhoneWorker worker(run.exports, run.job, LabelOf(*entry), run.console);
  results.push_back(RunToEnd(worker, run.interrupt));
  return kExitOk;
}

int RunSession(const Options& options, Console& console, const Environment& environment) {
  Session session(options, console, environment);
  return session.Run();
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::absolute(platform::PathOf(path), ec);
  return ec ? path : platform::Utf8Of(p.lexically_normal());
}

uint64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const uint64_t size = fs::file_size(platform::PathOf(path), ec);
  return ec ? 0 : size;
}

std::optional<uint64_t> WaitMs(const Options& o) {
  if (!o.waitSeconds) return std::nullopt;
  return static_cast<uint64_t>(*o.waitSeconds * 1000.0);
}

std::string WaitText(const Options& o) {
  if (!o.waitSeconds) return "";
  char text[48];
  std::snprintf(text, sizeof text, " within %g s", *o.waitSeconds);
  return text;
}

}  // namespace cli
