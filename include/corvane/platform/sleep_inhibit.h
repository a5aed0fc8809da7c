#pragma once

#include <cstdint>
#include <string>

#include "corvane/platform/export.h"

// Keeping the system awake: a bench PC or a factory line that suspends while a phone is written
// leaves the phone with a half-written boot loader. While a SleepInhibit lives the system is
// asked not to sleep, whether told to or on its own when idle (logind's "block" inhibitor on
// Linux; Windows keeps it from sleeping when idle, and lets no program refuse a sleep the user
// asks for). Where the system cannot be asked (no system bus in a container or CI, no logind, a
// build without the service) nothing fails: the hold says why, and the caller tells the user
// once that the system may sleep.
namespace platform {

class CORVANE_API SleepInhibit {
 public:
  // `why` is what the system shows a user who asks what keeps it awake.
  explicit SleepInhibit(const std::string& why);
  ~SleepInhibit();  // lets go
  SleepInhibit(const SleepInhibit&) = delete;
  SleepInhibit& operator=(const SleepInhibit&) = delete;

  bool Held() const noexcept { return handle_ >= 0; }
  // "" while held; otherwise why not ("no system bus: ...", "logind refused: ...").
  const std::string& Problem() const noexcept { return problem_; }
  // The one line a front end shows when the hold failed ("" while held): "the system may sleep
  // while phones are written (<problem>)".
  std::string Warning() const;

 private:
  // What holds the inhibition (POSIX: logind's descriptor; Windows: 0 while one thread of the
  // library's keeps the system's execution state for every hold).
  intptr_t handle_ = -1;
  std::string problem_;
};

}  // namespace platform
