#include "corvane/module/file_mngr.h"

std::string CFileMngr::GetFileTypeStr(const std::string&) { return {}; }

int CFileMngr::JudgeFile(const std::string&) { return 1; }

uint8_t CFileMngr::FileDLOrder(const std::string&) { return 0; }
