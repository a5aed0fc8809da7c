#pragma once

#include <string>

#include "module/file_mngr.h"

// The model's file typing: its extensions and its kind table, on the bare file name.
class CModelFileMngr : public CFileMngr {
 public:
  std::string GetFileTypeStr(const std::string& path) override;
  int JudgeFile(const std::string& path) override;
  uint8_t FileDLOrder(const std::string& path) override;
};
