// The MDM download: the phone first shows its Qualcomm modem's diagnostic port; the modem is
// switched into download mode (a new port), its NAND partitions are written from the MDM image,
// it is reset (its diagnostic port comes back), switched into download mode once more and told to
// hand the USB link to the application processor, whose NVIDIA boot loader then takes its
// factory file. Every switch makes the phone leave its port and come back on another, so each is
// followed by a pause and a search for the new port.

#include <string>

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/os_version.h"
#include "corvane/platform/path.h"
#include "plugin/model_module.h"

namespace {

constexpr uint32_t kBaudRate = 115200;
constexpr uint8_t kNoPort = 255;

constexpr uint32_t kAfterModeCommandMs = 2000;
constexpr uint32_t kAfterDloadSetMs = 1000;
constexpr uint32_t kDloadEnumerationMs = 5000;
constexpr uint32_t kProbePauseMs = 1000;
constexpr uint32_t kBeforeResetMs = 500;
constexpr uint32_t kRebootMs = 10000;
constexpr uint32_t kApEnumerationMs = 8000;

// Older systems' serial stacks give a phone that is still enumerating fewer chances.
constexpr unsigned kOldSystemMajor = 5;
constexpr int kProbes = 10;
constexpr int kProbesOnOldSystems = 2;

}  // namespace

int CModelModule::FactoryDownloadMDM(platform::WindowHandle window, uint8_t port,
                                     const std::string& mdmPath, const std::string& apPath,
                                     uint32_t timeout) {
  if (!OpenPortAfresh(window, port, timeout)) return 0;
  if (!mdmPath.empty()) {
    if (!DownloadModem(mdmPath)) return 0;
  } else {
    SendText("Start AP only download");
  }
  if (!SwitchToDownloadMode()) return 0;
  return DownloadApplicationProcessor(apPath, timeout) ? 1 : 0;
}

// The modem part ends on the phone's diagnostic port again, open, after the reset.
bool CModelModule::DownloadModem(const std::string& mdmPath) {
  SendText("MDM Download start");
  SendText("Read binary setting value");
  StepScope step(Steps(), notify::StepKind::kNandImage, 0, 0, platform::BareName(mdmPath));
  if (!Files()->ReadMDMImage(mdmPath, &Steps())) return false;
  if (!SwitchToDownloadMode()) return false;
  const int programmed = ProgramNandPartitions();
  Files()->ReleaseMDMImage();  // written or not, the partitions are not needed any more
  if (programmed != 1) return false;
  step.Done(true);
  platform::SleepMs(kBeforeResetMs, m_Report.RunCancellation());
  SendText("Trying to reset...");
  if (!Flash()->MDMDownLoadReset(Link())) return false;
  Link()->Close();
  platform::SleepMs(kRebootMs, m_Report.RunCancellation());
  const uint8_t found = Flash()->SearchUSBDevice();
  if (found == kNoPort) {
    SendText("Reboot fail!");
    SendCode(notify::kProgressFailed);
    return false;
  }
  SendText("Complete CP download!");
  Link()->Close();
  return OpenFoundPort(found);
}

// From the diagnostic port into download mode, on the new port, with raw transfers.
bool CModelModule::SwitchToDownloadMode() {
  SendText("We try to communicate with phone");
  if (!Flash()->MDMSendCmdLineToPhone(Link())) SendText("Fail MDMSendCmdLineToPhone");
  platform::SleepMs(kAfterModeCommandMs, m_Report.RunCancellation());
  SendText("Change DLOAD mode");
  if (!Flash()->MDMDloadSet(Link())) return false;
  platform::SleepMs(kAfterDloadSetMs, m_Report.RunCancellation());
  Link()->Close();
  platform::SleepMs(kDloadEnumerationMs, m_Report.RunCancellation());
  SendText("We are searching new USB port...");
  const uint8_t found = Flash()->SearchUSBDevice();
  if (found == kNoPort || !OpenFoundPort(found)) return false;
  if (!ProbeDownloadMode()) return false;
  ResetLineSettings();
  SendText("Set NONHDLC mode");
  return Flash()->WriteForMDMBIN(Link()) == 1;
}

// The new port may be up before the modem's download mode listens on it.
bool CModelModule::ProbeDownloadMode() {
  const int probes =
      platform::GetOsVersion().major < kOldSystemMajor ? kProbesOnOldSystems : kProbes;
  SendText("Test DLOAD mode");
  for (int i = 0; i < probes; ++i) {
    platform::SleepMs(kProbePauseMs, m_Report.RunCancellation());
    if (Flash()->MDMDLoadNoopF(Link()) == 1) return true;
  }
  SendCode(notify::kProgressFailed);
  SendText("NOOP_F error");
  return false;
}

// The switch's result is not looked at: a phone that did not take it is not found on a new
// port, or its loader refuses the factory file.
bool CModelModule::DownloadApplicationProcessor(const std::string& apPath, uint32_t timeout) {
  Flash()->SwitchUSBToAP(Link());
  Link()->Close();
  platform::SleepMs(kApEnumerationMs, m_Report.RunCancellation());
  SendText("We are searching new USB port...");
  const uint8_t found = Flash()->SearchUSBDevice();
  if (found == kNoPort) return false;
  if (!OpenPortAfresh(GetParentHandle(), found, timeout)) return false;
  StepScope step(Steps(), notify::StepKind::kFactoryImage, 1, 0, platform::BareName(apPath));
  if (!Flash()->nVidiaFactoryDownload(apPath.c_str(), Link())) return false;
  step.Done(true);
  if (!Flash()->Complete(Link())) return false;
  Link()->Close();
  SendText("Download complete");
  return true;
}

bool CModelModule::OpenFoundPort(uint8_t port) {
  if (Link()->SetComPort(port)) return true;
  SendCode(notify::kProgressFailed);
  SendText("We can't communicate with specific port");
  return false;
}

void CModelModule::ResetLineSettings() {
  Link()->SetComBaudRate(kBaudRate);
  Link()->Clear();
  Link()->SetComBaudRate(kBaudRate);
}
