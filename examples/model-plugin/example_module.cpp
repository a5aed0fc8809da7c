#include "example_module.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"

namespace {

// What the model writes, in download order: a file whose name holds the text is of that kind.
constexpr std::array<const char*, 3> kKinds = {"boot", "system", "userdata"};
constexpr int kUnknownOrder = 255;

}  // namespace

CExampleModule::~CExampleModule() { ReleaseOverrideClassObj(); }

// A host refuses a file judged 0 before any phone is touched. This model takes any named file and
// writes the kinds it does not know last.
int CExampleModule::JudgeFile(const std::string& path) {
  return platform::BareName(path).empty() ? 0 : 1;
}

void CExampleModule::MakeOverrideClassObj() {
  m_pComm = std::make_unique<CMiscUtilComm>();
  m_pComm->SetParentHandle(GetParentHandle());
}

void CExampleModule::ReleaseOverrideClassObj() {
  if (m_pComm) m_pComm->Close();
  m_pComm.reset();
}

std::string CExampleModule::TypeText(const std::string& path) {
  const std::string name = platform::BareName(path);
  for (const char* kind : kKinds) {
    if (name.find(kind) != std::string::npos) return kind;
  }
  return "?";
}

int CExampleModule::DownloadOrder(const std::string& name) {
  for (size_t i = 0; i < kKinds.size(); ++i) {
    if (name.find(kKinds[i]) != std::string::npos) return static_cast<int>(i + 1);
  }
  return kUnknownOrder;
}

std::string CExampleModule::CheckFiles(const std::vector<std::string>& paths) const {
  if (paths.empty()) return "no file to write";
  for (const std::string& path : paths) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return path + ": cannot be read (" + ec.message() + ")";
    if (size == 0) return path + ": empty";
  }
  return "";
}

bool CExampleModule::OpenLink(platform::WindowHandle window, uint8_t port) {
  SetParentHandle(window);
  MakeOverrideClassObj();
  m_pComm->SetCancellation(m_Report.RunCancellation());
  if (m_pComm->SetComPort(port) != 1) {
    SendTextF("EX100: cannot open port %u", port);
    return false;
  }
  SendTextF("EX100: port %u open", port);
  return true;
}

// Where a real model sends the image in packets and advances the step with what the phone
// acknowledges (Report().StepAdvance). This example knows no phone protocol, so it reports the
// step and refuses honestly rather than pretend to have written anything.
bool CExampleModule::WriteImage(int index, const std::string& path, uint64_t bytes) {
  StepScope step(Report(), notify::StepKind::kPartition, index, bytes, platform::BareName(path));
  SendTextF("EX100: %s would be written here", platform::BareName(path).c_str());
  return step.Done(false);
}

int CExampleModule::StartDownload(platform::WindowHandle window, uint8_t port, uint8_t* const*, int,
                                  const std::vector<std::string>& paths, uint32_t, uint32_t) {
  if (!OpenLink(window, port)) return 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(paths[i], ec);
    if (!WriteImage(static_cast<int>(i), paths[i], ec ? 0 : bytes)) {
      SendText("EX100: this example plug-in speaks no phone protocol; nothing was written");
      SendCode(notify::kProgressFailed);
      return 0;
    }
  }
  SendCode(notify::kProgressComplete);
  return 1;
}
