#include "corvane/module/basic_module.h"

#include <cstdarg>

#include "corvane/flash/basic_flash.h"
#include "corvane/module/file_mngr.h"
#include "corvane/module/zel_parser_basic.h"
#include "corvane/platform/message_box.h"
#include "corvane/protocol/misc_util_comm.h"

CBasicModule::CBasicModule() = default;
CBasicModule::~CBasicModule() = default;

int CBasicModule::JudgeFile(const std::string&) { return 1; }

void CBasicModule::ReleaseOverrideClassObj() { platform::ShowMessageBox(kNotOverridden); }

void CBasicModule::MakeOverrideClassObj() { platform::ShowMessageBox(kNotOverridden); }

int CBasicModule::StartDownload(platform::WindowHandle, uint8_t, uint8_t* const*, int,
                                const std::vector<std::string>&, uint32_t, uint32_t) {
  platform::ShowMessageBox(kNotOverridden);
  return 0;
}

void CBasicModule::SetParentHandle(platform::WindowHandle window) {
  m_Report.SetWindow(window);
  SendCode(30);
}

void CBasicModule::SendTextF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  m_Report.TextV(format, args);
  va_end(args);
}
