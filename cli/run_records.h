#pragma once

#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/console.h"
#include "cli/job.h"
#include "cli/options.h"
#include "corvane/ports/serial_port_entry.h"
#include "host/records/recorder.h"
#include "host/records/records_settings.h"
#include "host/records/run_ledger.h"

// The records of one tarvex-cli session: every phone's run, and a refusal before any phone, leave
// a record in the station's file (and through it on the line's server).
namespace cli {

class PhoneWindow;

// The [Records] settings from "Tarvex.ini" (where the environment names a configuration
// directory), the command line's over them.
records::Settings RecordSettings(const Options& options, const Environment& environment);

class RunRecords {
 public:
  RunRecords(const Options& options, const Environment& environment, Console& console);

  // Called once the plug-in is loaded and the job built.
  void Prepare(const Job& job, const std::string& pluginName, const std::string& pluginVersion);
  // "" when a run may start; else why not ("records required" and the file cannot be written).
  std::string Refusal();

  // A phone's run: its ledger, begun.
  records::RunLedger Begin(const PhoneLabel& phone) const;
  void End(records::RunLedger& ledger, const PhoneResult& result, const PhoneWindow& window) const;
  // The files were refused before any phone was touched.
  void Refused(const std::string& reason) const;

 private:
  const records::Settings settings_;
  const bool simulated_;  // --simulate: a refusal too belongs to a simulation
  Console& console_;
  records::RunStart start_;
  std::unique_ptr<records::Recorder> recorder_;
};

}  // namespace cli
