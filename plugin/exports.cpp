// The plug-in's exported entry points.
//
// Every download-type call creates its own model module, so calls on different ports may run at
// the same time (a factory line flashing several phones from one process).

#include "corvane/plugin/exports.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/path.h"
#include "plugin/kind_table.h"
#include "plugin/model_module.h"

namespace {

constexpr uint32_t kFactoryStartWaitMs = 2000;
const std::vector<std::string> kNoPaths;

// The frame every download-type export runs in: a module of its own, the start line, the
// sequence, and on failure the port closed.
template <typename Sequence>
int RunFrame(platform::WindowHandle window, const char* startText, uint32_t waitMs,
             Sequence sequence) {
  CModelModule module;
  if (window == nullptr) {
    platform::ShowMessageBox("We can't find program!");
    return 0;
  }
  module.m_Report.SetWindow(window);
  module.m_Report.Text(startText);
  module.m_Report.Code(0);
  if (waitMs > 0) platform::SleepMs(waitMs, platform::CancellationOf(window));
  const int result = sequence(module);
  if (result != 1) module.Link()->Close();
  return result == 1 ? 1 : 0;
}

const std::string& OrEmpty(const std::string* s) {
  static const std::string kEmpty;
  return s != nullptr ? *s : kEmpty;
}

}  // namespace

extern "C" {

int PluginAbiVersion(void) { return kPluginAbiVersion; }

// Every sequence opens a step for each file it writes (StepScope), naming the caller's index.
int ReportsSteps(void) { return 1; }

int DoDownload(platform::WindowHandle window, int port, uint8_t** images, int count,
               const std::vector<std::string>* paths, uint32_t timeout, uint32_t options) {
  return RunFrame(window, "Download Start...", 0, [&](CModelModule& module) {
    return module.StartDownload(window, static_cast<uint8_t>(port & 0xFF), images,
                                images != nullptr ? count : 0, paths ? *paths : kNoPaths,
                                timeout * 2, options);
  });
}

int DoFactoryDownload(platform::WindowHandle window, int port, const std::string* first,
                      const std::string* second, uint32_t timeout, uint32_t options) {
  return RunFrame(window, "Download Start...", kFactoryStartWaitMs, [&](CModelModule& module) {
    return module.FactoryDownload(window, static_cast<uint8_t>(port & 0xFF), OrEmpty(first),
                                  OrEmpty(second), timeout, options);
  });
}

int DoFactoryDownloadMDM(platform::WindowHandle window, int port, const std::string* mdmPath,
                         const std::string* apPath, uint32_t timeout) {
  return RunFrame(window, "Download Start...", 0, [&](CModelModule& module) {
    return module.FactoryDownloadMDM(window, static_cast<uint8_t>(port & 0xFF), OrEmpty(mdmPath),
                                     OrEmpty(apPath), timeout);
  });
}

int DoUploadStart(platform::WindowHandle window, int port, const std::string* outPath,
                  uint32_t sectors, uint32_t address, uint32_t timeout) {
  return RunFrame(window, "Upload Start...", 0, [&](CModelModule& module) {
    return module.UploadStart(window, static_cast<uint8_t>(port & 0xFF), OrEmpty(outPath), sectors,
                              address, timeout);
  });
}

int CheckDownloadFiles(int mode, const std::vector<std::string>* paths, uint32_t options,
                       char* message, int messageSize) {
  CModelModule::FileVerdict verdict;
  // Nothing may leave a C-linkage call as an exception: a file too large to hold is a refusal.
  try {
    CModelModule module;
    verdict = module.CheckFiles(mode, paths ? *paths : kNoPaths, options);
  } catch (const std::exception& e) {
    verdict = {kCheckRefused, std::string("the files could not be checked: ") + e.what()};
  }
  if (message != nullptr && messageSize > 0) {
    const size_t room = static_cast<size_t>(messageSize) - 1;
    const size_t n = std::min(room, verdict.message.size());
    std::memcpy(message, verdict.message.data(), n);
    message[n] = '\0';
  }
  return verdict.answer;
}

// The last three characters of the bare name, in a buffer that the next call overwrites.
const char* GetFileTypeStr(const std::string* path) {
  static thread_local char buffer[256];
  const std::string text = kinds::LastThree(platform::BareName(OrEmpty(path)));
  std::strncpy(buffer, text.c_str(), sizeof buffer - 1);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

int JudgeFile(const std::string*) { return 1; }

int FileDLOrder(const std::string* text) { return kinds::FirstMatch(OrEmpty(text)); }

const char* ResourceString(int id) {
  switch (id) {
    case 1:
      return "TQ4410";
    case 2:
      return "1.3";
    default:
      return nullptr;
  }
}

}  // extern "C"
