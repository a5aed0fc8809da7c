#include "cli/run_records.h"

#include "cli/phone_window.h"
#include "corvane/platform/reporter.h"
#include "host/settings.h"

namespace cli {
namespace {

const char* ModeOf(Command command) {
  switch (command) {
    case Command::kFactory:
      return "rom copy";
    case Command::kMdm:
      return "mdm";
    case Command::kUpload:
      return "upload";
    default:
      return "normal";
  }
}

}  // namespace

records::Settings RecordSettings(const Options& o, const Environment& env) {
  CIniFile ini;
  std::string settingsDirectory, readDirectory;
  if (!env.configDirectory.empty()) {
    const settings::Location where = settings::Locate(env.programDirectory, env.configDirectory);
    ini.Load(where.readDirectory + "/" + settings::kFileName);
    settingsDirectory = where.directory;
    readDirectory = where.readDirectory;
  }
  const std::string defaultFile =
      env.dataDirectory.empty()
          ? ""
          : records::DefaultFile(env.programDirectory, settingsDirectory, env.dataDirectory);
  records::Settings s = records::SettingsOf(ini, defaultFile, readDirectory);
  if (!o.station.empty()) s.station = o.station;
  if (!o.jobLabel.empty()) s.job = o.jobLabel;
  if (!o.recordsServer.empty()) s.server = o.recordsServer;
  return s;
}

RunRecords::RunRecords(const Options& options, const Environment& environment, Console& console)
    : settings_(RecordSettings(options, environment)),
      simulated_(options.simulate > 0),
      console_(console) {}

void RunRecords::Prepare(const Job& job, const std::string& pluginName,
                         const std::string& pluginVersion) {
  start_.station = settings_.station;
  start_.job = settings_.job;
  start_.tool = "tarvex-cli";
  start_.toolVersion = records::ToolVersion();
  start_.plugin = pluginName;
  start_.pluginVersion = pluginVersion;
  start_.mode = ModeOf(job.command);
  start_.erase = job.options;
  start_.simulated = simulated_;
  start_.files = job.PhoneFiles();
  // A station that keeps no records spends nothing on digests, in the plug-in's steps either.
  platform::SetStepDigestsWanted(!settings_.file.empty());
  if (settings_.file.empty()) return;
  // Once for every phone of the session, before any is touched.
  if (job.command == Command::kDownload) records::HashImages(start_, job.images);
  // Said from the writer's threads as well: the console takes one line at a time.
  recorder_ = std::make_unique<records::Recorder>(
      records::Recorder::Config{settings_.file, settings_.server, settings_.keepDays},
      [this](const std::string& problem) { console_.Note(problem); });
}

std::string RunRecords::Refusal() {
  return records::RequiredRefusal(settings_.required, recorder_.get());
}

records::RunLedger RunRecords::Begin(const PhoneLabel& phone) const {
  records::RunStart start = start_;
  start.simulated = start.simulated || records::SimulatedPort(phone.path);
  records::RunLedger ledger(recorder_.get(), start);
  records::Phone p;
  p.port = "COM" + std::to_string(phone.number) + " (" + phone.path + ")";
  p.usbIds = phone.usbIds;
  p.usbPath = phone.usbPath;
  p.usbSerial = phone.usbSerial;
  ledger.Begin(p);
  return ledger;
}

void RunRecords::End(records::RunLedger& ledger, const PhoneResult& result,
                     const PhoneWindow& window) const {
  const PhoneWindow::Kept kept = window.KeptForRecord();
  ledger.SetFactory(kept.modelName, kept.pid);
  const notify::StepHistory steps = window.Steps().Snapshot();
  ledger.End({result.verdict, result.reason}, result.exportResult, result.unwrittenFiles,
             steps.lines, steps);
}

void RunRecords::Refused(const std::string& reason) const {
  records::RunLedger ledger(recorder_.get(), start_);
  ledger.End({notify::Verdict::kRefused, reason}, 0, {}, {reason}, {});
}

}  // namespace cli
