#include "plugin/model_file_mngr.h"

#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"
#include "plugin/kind_table.h"

int CModelFileMngr::JudgeFile(const std::string& path) {
  const std::string ending = kinds::LastThree(path);
  for (const char* extension : kinds::kExtensions) {
    if (ending == extension) return 1;
  }
  platform::ShowMessageBox("Can't support current file");
  return 0;
}

std::string CModelFileMngr::GetFileTypeStr(const std::string& path) {
  return kinds::LastMatchText(platform::BareName(path));
}

uint8_t CModelFileMngr::FileDLOrder(const std::string& path) {
  return kinds::FirstMatch(platform::BareName(path));
}

int CModelFileMngr::Refuse(const std::string& text) {
  SendCode(notify::kProgressFailed);
  SendText(text.c_str());
  return 0;
}

int CModelFileMngr::ReadMDMImage(const std::string& path, Reporter* step) {
  SendCode(0);
  mdm::FileSource file(path);
  if (!file.IsOpen()) {
    m_Partitions.Release();
    return Refuse("We can't read MDM binary");
  }
  if (step != nullptr) file.DigestFor(*step);
  return ReadFrom(file);
}

int CModelFileMngr::ReadMDMImage(mdm::ByteSource& source) {
  SendCode(0);
  return ReadFrom(source);
}

// Every image that cannot be programmed as it stands stops here with its reason, so that no
// partition of it reaches the phone.
int CModelFileMngr::ReadFrom(mdm::ByteSource& source) {
  const mdm::ReadResult r = mdm::ReadImage(source, m_Partitions);
  switch (r.status) {
    case mdm::ReadStatus::kOk:
      SendCode(100);
      return 1;
    case mdm::ReadStatus::kShortHeader:
      return Refuse("MDM binary is shorter than its header");
    case mdm::ReadStatus::kTooFar:
      return Refuse("MDM binary partition " + std::to_string(r.at) +
                    " lies beyond the NAND's 32-bit addresses");
    case mdm::ReadStatus::kNoData:
      return Refuse("MDM binary partition " + std::to_string(r.at) + " has no data in the file");
    case mdm::ReadStatus::kEmpty:
      return Refuse("MDM binary holds no partition to write");
    case mdm::ReadStatus::kUnreadable:
      return Refuse("We can't read MDM binary");
    case mdm::ReadStatus::kNoMemory:
      return Refuse("An error occured when malloc");
  }
  return 0;
}
