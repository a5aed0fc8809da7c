#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "corvane/platform/notify.h"

namespace notify {

// Which of the caller's files a run wrote, from its step notices: a file counts once a step that
// writes it (an erase writes none) has ended done. Front ends use it so that a run which left a
// given file unwritten never ends as a success. Thread-safe: a run's worker may count while the
// window reads.
class WrittenFiles {
 public:
  void OnStep(const StepNotice& notice) {
    const std::lock_guard<std::mutex> guard(lock_);
    sawSteps_ = true;
    const bool writes = notice.kind != StepKind::kErase && notice.fileIndex >= 0;
    if (writes && notice.phase == StepPhase::kEnd && notice.succeeded) {
      written_.insert(notice.fileIndex);
    }
  }
  // Whether the plug-in reported steps at all; one that does not cannot be held to them.
  bool SawSteps() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return sawSteps_;
  }
  // The non-empty entries of `files` (indexed as the steps name them) that no step wrote. A
  // plug-in that reported no steps cannot be held to them (none), unless it promised to report
  // them (`reportsSteps`): then it wrote none.
  std::vector<std::string> Unwritten(const std::vector<std::string>& files,
                                     bool reportsSteps = false) const {
    const std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> left;
    for (size_t i = 0; i < files.size() && (sawSteps_ || reportsSteps); ++i) {
      if (!files[i].empty() && written_.count(static_cast<int32_t>(i)) == 0) {
        left.push_back(files[i]);
      }
    }
    return left;
  }

 private:
  mutable std::mutex lock_;
  bool sawSteps_ = false;
  std::set<int32_t> written_;
};

}  // namespace notify
