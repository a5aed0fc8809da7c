#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/platform/notify.h"

// What each step of a run did and every status line it sent, gathered once in the library from
// the run's messages, so that every front end can keep a record of a run (which files, their
// digests, what each step moved and how long it took) without collecting it itself.
namespace notify {

// One step of a run, as its notices told it.
struct StepRecord {
  StepKind kind = StepKind::kPartition;
  int32_t fileIndex = kNoFile;
  std::string name;
  uint64_t beginMs = 0;  // the run's clock at its first notice
  uint64_t endMs = 0;    // and at its end; equal to beginMs while it is open
  bool ended = false;
  uint64_t bytesPlanned = 0;
  uint64_t bytesDone = 0;  // what the phone acknowledged
  bool succeeded = false;
  std::string sha256;  // of the file the step read from disk; "" when it read none
  uint64_t bytesHashed = 0;
  bool partial = false;   // the digest does not cover the whole file
  uint64_t pausedUs = 0;  // the step's own pauses (StepNotice::pausedUs)

  uint64_t DurationMs() const { return endMs - beginMs; }
};

// A StepLog's contents at one moment, as a plain value.
struct StepHistory {
  std::vector<StepRecord> steps;
  // The status lines in order, with "… N lines dropped here …" where the middle went.
  std::vector<std::string> lines;
  uint64_t droppedLines = 0;
  uint64_t droppedSteps = 0;
};

// Follows one run's step notices and status lines. A run that says more than its bound keeps
// its first lines (the files, the phone and the options it started with) and its latest ones
// (how it ended or where it stopped); what lies between is mostly one block after another.
// Thread-safe: a run's worker may report its steps while the window adds its lines or reads.
class CORVANE_API StepLog {
 public:
  static constexpr size_t kHeadLines = 1000;
  static constexpr size_t kTailLines = 4000;
  // Far more than any sequence takes: only a plug-in gone astray reaches it.
  static constexpr size_t kMaxSteps = 1000;

  explicit StepLog(size_t headLines = kHeadLines, size_t tailLines = kTailLines);

  // A notice at `nowMs` on the run's clock. Its advance and end go to the step it belongs to (the
  // open one of the same kind and file); a notice without an open step opens one.
  void OnStep(const StepNotice& notice, uint64_t nowMs);
  void OnStatusText(const std::string& line);

  StepHistory Snapshot() const;

 private:
  StepRecord* OpenStep(const StepNotice& notice, uint64_t nowMs);

  const size_t headLines_;
  const size_t tailLines_;
  mutable std::mutex lock_;
  std::vector<StepRecord> steps_;
  uint64_t droppedSteps_ = 0;
  std::vector<std::string> head_;
  std::deque<std::string> tail_;
  uint64_t droppedLines_ = 0;
};

}  // namespace notify
