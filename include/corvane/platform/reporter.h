#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/notify.h"

// The one way the library and the plug-in report to their owner window: status lines, progress
// codes, file lines and typed step notices, all by synchronous send. Without a window nothing is
// sent. The last status line is kept (the window's copy may be gone) and formatted lines are
// bounded, never written past a buffer.
//
// A step opened with BeginStep collects what the phone acknowledges (StepAdvance) and is closed
// by EndStep; the notices of one step all carry its kind, file index and name.
class CORVANE_API Reporter {
 public:
  static constexpr size_t kMaxFormatted = 512;

  void SetWindow(platform::WindowHandle window) { window_ = window; }
  platform::WindowHandle Window() const { return window_; }
  // The cancellation of the run reporting here (its window's); null without a window. Pauses
  // and polls of a sequence wait on it, so that closing the window ends them.
  const platform::Cancellation* RunCancellation() const {
    return platform::CancellationOf(window_);
  }
  const std::string& LastText() const { return last_; }

  void Text(const char* text);
  void Text(const std::string& text) { Text(text.c_str()); }
  void TextF(const char* format, ...) CORVANE_PRINTF(2, 3);
  void TextV(const char* format, va_list args) CORVANE_PRINTF(2, 0);
  void Code(platform::LPARAM code);
  void FileLine(const char* text);

  void BeginStep(notify::StepKind kind, int32_t fileIndex, uint64_t bytesPlanned,
                 const std::string& name);
  // The open step will move `bytes` more than planned so far: a step whose size only the chip
  // procedure learns (a factory file's partitions, an image's code) plans as it goes.
  void AddToPlan(uint64_t bytes);
  // The phone acknowledged `bytes` more of the open step. Notices are sent at most once per
  // thousandth of the plan (and for the last byte), so a large step costs the window little.
  void StepAdvance(uint64_t bytes);
  // The digest of the file that the open step read from disk, for its end notice: `sha256` its
  // hexadecimal text, covering `bytes` from the file's start, `partial` when the file was not
  // read to its end. Taken by the reading loop (sha256::StepDigest), never by a second read.
  void SetStepDigest(const std::string& sha256, uint64_t bytes, bool partial);
  void EndStep(bool succeeded);

 private:
  void SendStep(notify::StepPhase phase);

  platform::WindowHandle window_ = nullptr;
  std::string last_;
  notify::StepNotice step_{};
  std::string stepName_;
  std::string stepDigest_;  // "" until the step's reading loop hands its digest over
  uint64_t digestBytes_ = 0;
  bool digestPartial_ = false;
  bool stepOpen_ = false;
  uint64_t lastSentDone_ = 0;
  uint64_t pausedAtBegin_ = 0;  // platform::PausedUs() when the step began
};

// Opens a step for the life of a scope; the step ends as failed unless Succeeded() was called,
// so every early return of a sequence reports the step it abandoned.
class StepScope {
 public:
  StepScope(Reporter& reporter, notify::StepKind kind, int32_t fileIndex, uint64_t bytesPlanned,
            const std::string& name)
      : reporter_(reporter) {
    reporter_.BeginStep(kind, fileIndex, bytesPlanned, name);
  }
  ~StepScope() { reporter_.EndStep(succeeded_); }
  StepScope(const StepScope&) = delete;
  StepScope& operator=(const StepScope&) = delete;

  // Marks the step done; returns `ok` so that a sequence can end with `return scope.Done(ok)`.
  bool Done(bool ok) {
    succeeded_ = ok;
    return ok;
  }

 private:
  Reporter& reporter_;
  bool succeeded_ = false;
};

namespace platform {

// Whether steps take the digests of the files they read (sha256::StepDigest), for the whole
// process: a host that keeps no records turns them off, and its runs' steps then read nothing for
// them and report none. On unless turned off.
CORVANE_API void SetStepDigestsWanted(bool wanted);
CORVANE_API bool StepDigestsWanted();

}  // namespace platform
