#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/notify.h"
#include "corvane/platform/run_outcome.h"
#include "corvane/ports/serial_port_entry.h"
#include "host/records/record.h"

// How a front end's run becomes its record: the "started" record before the phone is touched,
// the steps as the run reported them, and the outcome as the one verdict decided it.
namespace records {

struct RunStart {
  std::string station;
  std::string job;
  std::string tool;
  std::string toolVersion;
  std::string plugin;
  std::string pluginVersion;
  std::string mode;
  uint32_t erase = 0;
  bool simulated = false;
  Phone phone;
  // The run's files, indexed as its step notices name them ("" for none), and the digests of
  // those the host loaded (HashImages; a file the plug-in reads from its path it hashes itself).
  std::vector<std::string> files;
  struct Digest {
    std::string sha256;  // "" for a file the host did not load
    uint64_t bytes = 0;
  };
  std::vector<Digest> digests;
};

// Hashes the host's images once for all the runs that start from `start`: `images` by file
// index, each a 32-bit length and then the file's bytes (null for a file left on disk).
void HashImages(RunStart& start, const std::vector<uint8_t*>& images);

// The phone on `port` as discovery saw it.
Phone PhoneOf(const SerialPortEntry& port);
// Simulated phones answer on pseudo-terminals; a phone's own port never is one.
bool SimulatedPort(const std::string& devicePath);

// A record with a new id, started now.
Record Started(const RunStart& start);

// One step as the run reported it when it ended.
struct StepResult {
  notify::StepKind kind = notify::StepKind::kPartition;
  int fileIndex = notify::kNoFile;
  uint64_t ackedBytes = 0;
  uint64_t durationMs = 0;
  bool succeeded = false;
  std::string sha256;  // "" when the plug-in sent none
  uint64_t hashedBytes = 0;
  bool partial = false;
};

// Puts the step on its file's line (a second step on one file, or a step on none, gets a line
// of its own).
void AddStep(Record& record, const StepResult& step);

const char* VerdictWord(notify::Verdict verdict);
const char* StepKindWord(notify::StepKind kind);

// The run's end: its judgement, the entry point's result, the files no step wrote and the status
// lines as the log showed them.
void Ended(Record& record, const notify::Judgement& judgement, int exportResult,
           std::vector<std::string> unwritten, std::vector<std::string> lines);

}  // namespace records
