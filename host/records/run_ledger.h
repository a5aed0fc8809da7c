#pragma once

#include <string>
#include <vector>

#include "corvane/platform/run_outcome.h"
#include "corvane/platform/step_log.h"
#include "host/records/recorder.h"
#include "host/records/run_entry.h"

// One run's record from the moment its phone is touched to its end, the same for every front
// end: the "started" row first, then the whole record once, whichever way the run ends.
namespace records {

class RunLedger {
 public:
  // `recorder` null: the run is recorded nowhere (records are off).
  RunLedger(Recorder* recorder, RunStart start) : recorder_(recorder), start_(std::move(start)) {}

  // The host's images by file index, as the run hands them to the plug-in (records::HashImages).
  void HashImages(const std::vector<uint8_t*>& images) {
    if (recorder_ != nullptr) records::HashImages(start_, images);
  }
  // The phone is about to be touched.
  void Begin(const Phone& phone);
  void SetFactory(const std::string& modelName, const std::string& pid);
  // The run's end as the one verdict decided it; only the first end counts. A run that never
  // began (refused before the phone) is recorded here whole.
  void End(const notify::Judgement& judgement, int exportResult,
           const std::vector<std::string>& unwritten, std::vector<std::string> lines,
           const notify::StepHistory& steps);

  bool Begun() const { return begun_; }
  bool Ended() const { return ended_; }
  const Record& Current() const { return record_; }

 private:
  Recorder* recorder_;
  RunStart start_;
  Record record_;
  bool begun_ = false;
  bool ended_ = false;
};

}  // namespace records
