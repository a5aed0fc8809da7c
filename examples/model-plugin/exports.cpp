// The plug-in's entry points: the functions a host looks up by name, with the signatures of
// corvane/plugin/exports.h. Each download creates its own module, so that several ports can run
// at once.

#include <algorithm>
#include <cstring>
#include <exception>

#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/plugin/exports.h"
#include "example_module.h"

namespace {

const std::vector<std::string> kNoPaths;

// The frame of every download-type export: a module of its own, the start line, the sequence,
// the port closed. Nothing may leave a C-linkage call as an exception.
template <typename Sequence>
int RunFrame(platform::WindowHandle window, const char* startText, Sequence sequence) {
  if (window == nullptr) {
    platform::ShowMessageBox("EX100: the host gave no window to report to");
    return 0;
  }
  try {
    CExampleModule module;
    module.m_Report.SetWindow(window);
    module.m_Report.Text(startText);
    module.m_Report.Code(0);
    const int result = sequence(module);
    module.ReleaseOverrideClassObj();
    return result == 1 ? 1 : 0;
  } catch (const std::exception& e) {
    platform::ShowMessageBox((std::string("EX100: ") + e.what()).c_str());
    return 0;
  }
}

// A sequence this model does not have: said in the window, never reported as success.
int NotProvided(CExampleModule& module, const char* what) {
  module.SendTextF("EX100: the example model has no %s", what);
  module.SendCode(notify::kProgressFailed);
  return 0;
}

void CopyMessage(const std::string& text, char* message, int messageSize) {
  if (message == nullptr || messageSize <= 0) return;
  const size_t n = std::min(static_cast<size_t>(messageSize) - 1, text.size());
  std::memcpy(message, text.data(), n);
  message[n] = '\0';
}

}  // namespace

extern "C" {

// The version of corvane/plugin/exports.h this plug-in is built with: a host of another
// version refuses to load it.
int PluginAbiVersion(void) { return kPluginAbiVersion; }

// This model's download opens a step for each file it writes (StepScope), so a host may hold it
// to them: a file given and not written fails the run, and a run without steps wrote nothing.
int ReportsSteps(void) { return 1; }

int DoDownload(platform::WindowHandle window, int port, uint8_t** images, int count,
               const std::vector<std::string>* paths, uint32_t timeout, uint32_t options) {
  return RunFrame(window, "Download Start...", [&](CExampleModule& module) {
    return module.StartDownload(window, static_cast<uint8_t>(port & 0xFF), images, count,
                                paths != nullptr ? *paths : kNoPaths, timeout, options);
  });
}

int DoFactoryDownload(platform::WindowHandle window, int, const std::string*, const std::string*,
                      uint32_t, uint32_t) {
  return RunFrame(window, "Download Start...",
                  [](CExampleModule& module) { return NotProvided(module, "ROM-copy download"); });
}

int DoFactoryDownloadMDM(platform::WindowHandle window, int, const std::string*, const std::string*,
                         uint32_t) {
  return RunFrame(window, "Download Start...",
                  [](CExampleModule& module) { return NotProvided(module, "MDM download"); });
}

int DoUploadStart(platform::WindowHandle window, int, const std::string*, uint32_t, uint32_t,
                  uint32_t) {
  return RunFrame(window, "Upload Start...",
                  [](CExampleModule& module) { return NotProvided(module, "upload"); });
}

// Optional: a host that finds it checks the files before any phone is touched.
int CheckDownloadFiles(int mode, const std::vector<std::string>* paths, uint32_t, char* message,
                       int messageSize) {
  std::string why;
  if (mode != kCheckNormalDownload) {
    why = "the example model only has the normal download";
  } else {
    why = CExampleModule().CheckFiles(paths != nullptr ? *paths : kNoPaths);
  }
  CopyMessage(why, message, messageSize);
  return why.empty() ? 1 : 0;
}

// The text lives in a buffer of the calling thread until its next call.
const char* GetFileTypeStr(const std::string* path) {
  static thread_local std::string text;
  text = CExampleModule::TypeText(path != nullptr ? *path : std::string());
  return text.c_str();
}

int JudgeFile(const std::string* path) {
  return path != nullptr && CExampleModule().JudgeFile(*path);
}

int FileDLOrder(const std::string* text) {
  return CExampleModule::DownloadOrder(text != nullptr ? *text : std::string());
}

const char* ResourceString(int id) {
  switch (id) {
    case 1:
      return CExampleModule::kModelName;
    case 2:
      return "0.1";
    default:
      return nullptr;
  }
}

}  // extern "C"
