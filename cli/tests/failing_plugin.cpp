// A model plug-in whose entry points end in ways a host must not take at their word: the ROM copy
// fails without a word (no status, no code, only 0); the normal download reports a failure (a
// line and 200), then claims completion (400) and returns 1. It reports no steps.
//
// Built as stuck_model.so, the normal download ignores its run's cancellation, as a careless
// third-party plug-in might: it returns only once the file named by STUCK_MODEL_RELEASE exists.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "corvane/platform/notify.h"
#include "corvane/plugin/exports.h"

namespace {

void Send(platform::WindowHandle window, platform::WPARAM what, platform::LPARAM value) {
  platform::SendWindowMessage(window, notify::kMsgNotify, what, value);
}

void Text(platform::WindowHandle window, const char* text) {
  Send(window, notify::kStatusText, reinterpret_cast<platform::LPARAM>(text));
}

}  // namespace

extern "C" {

int PluginAbiVersion(void) { return kPluginAbiVersion; }

const char* GetFileTypeStr(const std::string*) { return "bin"; }
int JudgeFile(const std::string*) { return 1; }
int FileDLOrder(const std::string*) { return 255; }

int DoDownload(platform::WindowHandle window, int, uint8_t**, int, const std::vector<std::string>*,
               uint32_t, uint32_t) {
#if defined(STUCK_MODEL)
  const char* release = std::getenv("STUCK_MODEL_RELEASE");  // NOLINT(concurrency-mt-unsafe)
  while (release != nullptr && !std::filesystem::exists(release)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
#endif
  Text(window, "The phone refused the block");
  Send(window, notify::kProgress, notify::kProgressFailed);
  Text(window, "Download complete");
  Send(window, notify::kProgress, notify::kProgressComplete);
  return 1;
}

int DoFactoryDownload(platform::WindowHandle, int, const std::string*, const std::string*, uint32_t,
                      uint32_t) {
  return 0;
}

}  // extern "C"
