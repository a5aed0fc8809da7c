// A model plug-in whose entry points end in ways a host must not take at their word: the ROM copy
// fails without a word (no status, no code, only 0); the normal download reports a failure (a
// line and 200), then claims completion (400) and returns 1. It reports no steps.

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
