#include "module/basic_module.h"

#include <cstdarg>
#include <cstdio>

#include "platform/message_box.h"
#include "protocol/notify.h"

CBasicModule::CBasicModule() = default;
CBasicModule::~CBasicModule() = default;

int CBasicModule::JudgeFile(const std::string&) { return 1; }

void CBasicModule::ReleaseOverrideClassObj() { platform::ShowMessageBox(kNotOverridden); }

void CBasicModule::MakeOverrideClassObj() { platform::ShowMessageBox(kNotOverridden); }

int CBasicModule::StartDownload(HWND, uint8_t, uint8_t* const*, int,
                                const std::vector<std::string>&, uint32_t, uint32_t) {
  platform::ShowMessageBox(kNotOverridden);
  return 0;
}

void CBasicModule::SetParentHandle(HWND window) {
  m_hParent = window;
  SendCode(30);
}

void CBasicModule::SendText(const char* text) {
  if (m_hParent == nullptr) return;
  m_strStatus = text;
  platform::SendMessage(m_hParent, notify::kMsgNotify, notify::kStatusText,
                        reinterpret_cast<platform::LPARAM>(m_strStatus.c_str()));
}

void CBasicModule::SendTextF(const char* format, ...) {
  if (m_hParent == nullptr) return;
  char text[336];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SendText(text);
}

void CBasicModule::SendCode(intptr_t code) {
  platform::SendMessage(m_hParent, notify::kMsgNotify, notify::kProgress, code);
}
