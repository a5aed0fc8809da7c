// The ROM-copy (factory) download: whole-flash images, each to the chip procedure that its
// extension selects.

#include <string>

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"
#include "plugin/kind_table.h"
#include "plugin/model_module.h"

namespace {
constexpr uint32_t kBaudRate = 115200;
constexpr uint32_t kSettleAfterResetMs = 5000;
}  // namespace

bool CModelModule::OpenPortAfresh(platform::WindowHandle window, uint8_t port, uint32_t timeout) {
  m_Report.SetWindow(window);
  Flash()->SetDefaultTimeout(timeout);
  Link()->Close();
  if (!Link()->SetComPort(port)) {
    SendCode(notify::kProgressFailed);
    SendText("We can't communicate with specific port");
    return false;
  }
  Link()->SetComBaudRate(kBaudRate);
  Link()->Clear();
  Link()->SetComBaudRate(kBaudRate);
  Files()->SetParentHandle(window);
  Flash()->SetParentHandle(window);
  Link()->SetParentHandle(window);
  return true;
}

int CModelModule::FactoryDownload(platform::WindowHandle window, uint8_t port,
                                  const std::string& first, const std::string& second,
                                  uint32_t timeout, uint32_t options) {
  if (!OpenPortAfresh(window, port, timeout)) return 0;
  SendText("RomBinary Download start");
  const std::string* paths[] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    if (!WriteRomImage(*paths[i], i, options)) return 0;
  }
  SendText("RomBinary Download success");
  SendText("Target is resetting");
  if (!Flash()->NormalReset(Link())) return 0;
  Link()->Close();
  SendCode(notify::kProgressComplete);
  SendText("Download complete");
  platform::SleepMs(kSettleAfterResetMs, m_Report.RunCancellation());
  return 1;
}

// A file that is neither image kind is passed over (the pre-flight refuses it).
bool CModelModule::WriteRomImage(const std::string& path, int index, uint32_t options) {
  const std::string bare = platform::BareName(path);
  m_Report.FileLine(bare.c_str());
  const kinds::RomImage kind = kinds::RomImageOf(path);
  if (kind == kinds::RomImage::kNotAnImage) return true;
  StepScope step(Steps(), notify::StepKind::kFactoryImage, index, 0, bare);
  if (kind == kinds::RomImage::kEmmc) {
    return step.Done(Flash()->OMAPFactoryDownload(path.c_str(), Link()) != 0);
  }
  return step.Done(Flash()->IFXFactoryDownload(path.c_str(), Link(), options) != 0);
}
