#include "cli/cli.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "cli/console.h"
#include "cli/job.h"
#include "cli/json.h"
#include "cli/multi.h"
#include "cli/options.h"
#include "cli/phone_window.h"
#include "cli/plugin.h"
#include "cli/ports.h"
#include "cli/simulation.h"
#include "host/file_table.h"
#include "host/image_store.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/path.h"
#include "corvane/platform/port_table.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kPollMs = 250;

// Message boxes of the library and the plug-in become lines of the console while a command runs.
class MessageBoxRoute {
 public:
  explicit MessageBoxRoute(Console& console)
      : previous_(platform::SetMessageBoxHook(
            [&console](const std::string& text, const std::string& caption) {
              console.MessageBox(CurrentPhone::Get(), text, caption);
            })) {}
  ~MessageBoxRoute() { platform::SetMessageBoxHook(std::move(previous_)); }
  MessageBoxRoute(const MessageBoxRoute&) = delete;
  MessageBoxRoute& operator=(const MessageBoxRoute&) = delete;

 private:
  platform::MessageBoxHook previous_;
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

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

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

// A file that a run needs: it must exist and be readable before any phone is touched.
std::string CheckReadable(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return path + ": no such file";
  if (!fs::is_regular_file(path, ec)) return path + ": not a regular file";
  if (!std::ifstream(path, std::ios::binary)) return path + ": cannot be read";
  return "";
}

uint64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const uint64_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

// The last three characters, which decide what the plug-in does with a factory file.
std::string LastThree(const std::string& path) {
  return path.size() <= 3 ? path : path.substr(path.size() - 3);
}

std::string EraseText(uint32_t bits) {
  std::string text;
  if (bits & kEraseAp) text += "[Erase entire AP] ";
  if (bits & kEraseUserData) text += "[Erase User Data(AP)] ";
  if (bits & kEraseCp) text += "[Erase entire CP] ";
  return text;
}

class Session {
 public:
  Session(Options options, Console& console, const Environment& env)
      : o_(std::move(options)), console_(console), env_(env), cpuStart_(CpuSeconds()) {}

  int Run() {
    if (int status = LoadPlugin(); status != kExitOk) return status;
    if (int status = Simulate(); status != kExitOk) return status;
    if (int status = BuildJob(); status != kExitOk) return status;
    std::vector<PhoneResult> results;
    if (int status = RunPhones(results); status != kExitOk) return status;
    console_.Summary(results, CpuSeconds() - cpuStart_, simulation_ != nullptr);
    const bool verified = VerifySimulated();
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
    std::string missing;
    exports_ = Exports::Bind(*plugin_, o_.command, missing);
    if (!exports_) {
      console_.Error("the plug-in lacks " + missing + " (" + path + ")");
      return kExitPlugin;
    }
    return kExitOk;
  }

  int Simulate() {
    if (o_.simulate == 0) return kExitOk;
    std::string error;
    simulation_ = Simulation::Start(o_, error);
    if (!simulation_) {
      console_.Error(error);
      return kExitUsage;
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
    switch (o_.command) {
      case Command::kDownload:
        return BuildDownload();
      case Command::kFactory:
        return BuildFactory();
      case Command::kMdm:
        return BuildMdm();
      case Command::kUpload:
        return BuildUpload();
      default:
        return kExitUsage;
    }
  }

  // The file table types and orders the files, as the host's Normal D/L page does.
  int BuildDownload() {
    FileTable table(plugin_->Typing());
    for (const std::string& file : o_.files) {
      const std::string path = Absolute(file);
      const FileTable::AddResult r = table.AddFile(path);
      if (r == FileTable::AddResult::kDuplicate) {
        console_.Note(path + " is listed already: taken once");
      }
      if (r == FileTable::AddResult::kRejected) return Refuse("the plug-in does not take " + path);
      if (r == FileTable::AddResult::kFull) return Refuse(AddResultMessage(r) + " (" + path + ")");
    }
    job_.paths = table.CheckedPaths();
    ShowFileList(table);
    return ReadImages();
  }

  // Every file is in memory before a phone is touched; one that could not be read stops the
  // run here rather than reach the plug-in as a null image.
  int ReadImages() {
    const int complete = store_.ReadImages(job_.paths);
    const auto problems = store_.Problems();
    if (complete != 1 || !problems.empty()) {
      for (const auto& p : problems) console_.Error(DescribeProblem(p));
      console_.Error("the download was not started");
      return kExitUsage;
    }
    job_.images = store_.Images(job_.paths.size());
    for (size_t i = 0; i < job_.paths.size(); ++i) {
      const uint8_t* image = job_.images[i];
      const uint64_t length = uint64_t{image[0]} | uint64_t{image[1]} << 8 |
                              uint64_t{image[2]} << 16 | uint64_t{image[3]} << 24;
      job_.fileSizes[platform::BareName(job_.paths[i])] = length;
      job_.totalBytes += length;
    }
    return kExitOk;
  }

  void ShowFileList(const FileTable& table) {
    if (console_.GetMode().json) {
      std::string list = "[";
      for (int i = 0; i < FileTable::kSlots && !table.At(i).path.empty(); ++i) {
        const FileTable::Slot& s = table.At(i);
        list += (i ? "," : "") + JsonObject()
                                     .Add("path", s.path)
                                     .Add("type", s.type)
                                     .Add("order", static_cast<int>(s.order))
                                     .Add("bytes", SizeOf(s.path))
                                     .Text();
      }
      console_.JsonLine(JsonObject().Add("event", "files").AddRaw("files", list + "]").Text());
      return;
    }
    console_.Note("==  download lists  ==  " + table.Header());
    for (const FileTable::Row& row : table.Rows()) {
      char line[64];
      std::snprintf(line, sizeof line, "%3d. %-4s %12s  ", row.number, row.type.c_str(),
                    row.size.c_str());
      console_.Note(line + row.path);
    }
    if (o_.erase != 0) console_.Note("Erase: " + EraseText(o_.erase));
  }

  int BuildFactory() {
    job_.cpPath = Absolute(o_.files[0]);
    job_.apPath = Absolute(o_.files[1]);
    // The plug-in picks the procedure by the last three characters; anything else it passes
    // over and still reports success, so such a file is refused here.
    if (LastThree(job_.cpPath) != "fls") {
      return Refuse("CP_FILE must be the modem's factory file (*.fls): " + job_.cpPath);
    }
    if (LastThree(job_.apPath) != "bin") {
      return Refuse("AP_FILE must be the eMMC factory file (*.bin): " + job_.apPath);
    }
    return CheckAndSize({job_.cpPath, job_.apPath});
  }

  int BuildMdm() {
    job_.apPath = Absolute(o_.files[0]);
    std::vector<std::string> files{job_.apPath};
    if (!o_.mdmFile.empty()) {
      job_.mdmPath = Absolute(o_.mdmFile);
      files.insert(files.begin(), job_.mdmPath);
    }
    return CheckAndSize(files);
  }

  int BuildUpload() {
    job_.outPath = Absolute(o_.outFile);
    job_.sectors = *o_.sectors;
    job_.address = *o_.address;
    job_.totalBytes = uint64_t{job_.sectors} * 512;
    std::error_code ec;
    const fs::path dir = fs::path(job_.outPath).parent_path();
    if (!fs::is_directory(dir, ec)) {
      return Refuse("cannot write " + job_.outPath + ": no directory " + dir.string());
    }
    return kExitOk;
  }

  int CheckAndSize(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
      if (std::string e = CheckReadable(f); !e.empty()) return Refuse(e);
      job_.fileSizes[platform::BareName(f)] = SizeOf(f);
      job_.totalBytes += SizeOf(f);
    }
    return kExitOk;
  }

  int Refuse(const std::string& why) {
    console_.Error(why);
    return kExitUsage;
  }

  DiscoverFn Discovery() const {
    return PhoneDiscovery(simulation_ ? simulation_->DevicePaths() : std::set<std::string>{});
  }

  int RunPhones(std::vector<PhoneResult>& results) {
    return o_.multi ? RunMany(results) : RunOne(results);
  }

  int RunOne(std::vector<PhoneResult>& results) {
    std::optional<SerialPortEntry> entry;
    if (!o_.port.empty()) {
      NamedPort named = ResolvePort(o_.port, Discovery());
      if (!named.entry) return Refuse(named.error);
      entry = named.entry;
    } else {
      PortWatcher watcher(Discovery());
      entry = WaitForPhone(watcher, std::optional<uint64_t>(0), kPollMs);
      if (!entry) {
        console_.Note("Waiting for a phone port" + WaitText(o_) + "...");
        entry = WaitForPhone(watcher, WaitMs(o_), kPollMs);
      }
      if (!entry) {
        console_.Error("no phone port appeared" + WaitText(o_));
        return kExitNoPhone;
      }
    }
    results.push_back(RunPhone(*exports_, job_, LabelOf(*entry), console_));
    return kExitOk;
  }

  int RunMany(std::vector<PhoneResult>& results) {
    MultiSettings settings;
    settings.count = o_.count > 0 ? o_.count : o_.simulate;
    settings.idleMs = WaitMs(o_);
    settings.pollMs = kPollMs;
    console_.Note("Running on every phone port found, up to 8 at once" +
                  (settings.count > 0
                       ? ", until " + std::to_string(settings.count) + " phones have run"
                       : std::string()));
    PortWatcher watcher(Discovery());
    MultiOutcome outcome = RunMulti(*exports_, job_, console_, watcher, settings);
    results = std::move(outcome.results);
    if (results.empty()) {
      console_.Error("no phone port appeared" + WaitText(o_));
      return kExitNoPhone;
    }
    return kExitOk;
  }

  bool VerifySimulated() {
    if (!simulation_) return true;
    if (!simulation_->HasSample()) {
      console_.Note("Verification: skipped (the phone was given files of your own)");
      return true;
    }
    bool ok = true;
    for (const Simulation::Check& c : simulation_->Verify()) {
      console_.Verification(c.phone, c.verification.ok, c.verification.lines,
                            c.verification.Verdict());
      ok = ok && c.verification.ok;
    }
    return ok;
  }

  Options o_;
  Console& console_;
  const Environment& env_;
  double cpuStart_;
  std::unique_ptr<Plugin> plugin_;
  std::optional<Exports> exports_;
  std::unique_ptr<Simulation> simulation_;
  CImageStore store_;
  Job job_;
};

std::string UsbId(const SerialPortEntry& e) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%04x if %d", e.usbVendor, e.usbProduct, e.usbInterface);
  return text;
}

void ShowPort(Console& console, const PortReport& r) {
  const SerialPortEntry& e = r.entry;
  if (console.GetMode().json) {
    JsonObject o;
    o.Add("event", "port").Add("taken", r.taken).Add("port", static_cast<int>(e.portNumber));
    o.Add("name", e.portName).Add("path", e.devicePath).Add("description", e.description);
    o.Add("vendor", static_cast<int>(e.usbVendor)).Add("product", static_cast<int>(e.usbProduct));
    o.Add("interface", e.usbInterface);
    if (!r.taken) o.Add("reason", r.reason);
    console.JsonLine(o.Text());
    return;
  }
  char line[200];
  std::snprintf(line, sizeof line, "  %4u  %-10s %-36s %s", static_cast<unsigned>(e.portNumber),
                e.portName.c_str(), e.description.c_str(), UsbId(e).c_str());
  console.Note(line);
  if (!r.taken) console.Note("        not taken: " + r.reason);
}

int RunPorts(const Options& o, Console& console) {
  std::unique_ptr<Simulation> simulation;
  if (o.simulate > 0) {
    std::string error;
    simulation = Simulation::Start(o, error);
    if (!simulation) {
      console.Error(error);
      return kExitUsage;
    }
  }
  const std::vector<PortReport> reports = SurveyPorts();
  int taken = 0;
  if (!console.GetMode().json) console.Note("Phone ports:");
  for (const PortReport& r : reports) {
    if (r.taken) ++taken, ShowPort(console, r);
  }
  if (taken == 0 && !console.GetMode().json) console.Note("  none");
  bool header = false;
  for (const PortReport& r : reports) {
    if (r.taken) continue;
    if (!header && !console.GetMode().json) console.Note("Other serial ports, not taken:");
    header = true;
    ShowPort(console, r);
  }
  if (!console.GetMode().json) {
    console.Note("Serial ports that are not attached through USB are not considered.");
  }
  return taken > 0 ? kExitOk : kExitNoPhone;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const Environment& environment) {
  const Parsed parsed = ParseArguments(args);
  const Options& o = parsed.options;
  if (!parsed.error.empty()) {
    err << "tarvex-cli: " << parsed.error << "\n"
        << "Try 'tarvex-cli " << (o.multi ? "multi " : "") << CommandName(o.command)
        << (o.command == Command::kNone ? "" : " ") << "--help'.\n";
    return kExitUsage;
  }
  if (o.help) {
    out << UsageText(o.command, o.multi);
    return kExitOk;
  }
  Console console(out, err, {o.json, environment.terminal && !o.noTty, o.multi});
  const MessageBoxRoute boxes(console);
  if (o.command == Command::kPorts) return RunPorts(o, console);
  Session session(o, console, environment);
  return session.Run();
}

}  // namespace cli
