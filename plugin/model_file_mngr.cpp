#include "plugin/model_file_mngr.h"

#include "platform/message_box.h"
#include "platform/path.h"
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
