#include "flash/basic_flash.h"

#include <cstdarg>
#include <cstdio>

#include "flash/boot_header.h"
#include "flash/byte_order.h"
#include "platform/clock.h"
#include "protocol/notify.h"

CBasicFlash::CBasicFlash() = default;
CBasicFlash::~CBasicFlash() = default;

// Only `count` pointers are read: a caller's array may be shorter than the 20 slots.
void CBasicFlash::InitDLBuffer(int count, uint8_t* const* buffers) {
  for (int i = 0; i < kMaxBuffers; ++i) {
    m_pDLBuffer[i] = buffers != nullptr && i < count ? buffers[i] : nullptr;
  }
}

void CBasicFlash::SendText(const char* text) {
  if (m_hParent == nullptr) return;
  m_strStatus = text;
  platform::SendMessage(m_hParent, notify::kMsgNotify, notify::kStatusText,
                        reinterpret_cast<platform::LPARAM>(m_strStatus.c_str()));
}

void CBasicFlash::SendTextF(const char* format, ...) {
  if (m_hParent == nullptr) return;
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SendText(text);
}

void CBasicFlash::SendCode(intptr_t code) {
  platform::SendMessage(m_hParent, notify::kMsgNotify, notify::kProgress, code);
}

uint32_t CBasicFlash::ImageLength(const uint8_t* image) {
  return image ? bytes::LoadLe32(image) : 0;
}

int CBasicFlash::Complete(CMiscUtilComm* comm) {
  SendCode(notify::kProgressDisconnecting);
  const BootHeader h(boot_cmd::kComplete);
  if (comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, 6 * m_nDefaultTimeout) != kTxOk) {
    SendText("complete sync error!");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  platform::SleepMs(2000);
  SendCode(notify::kProgressComplete);
  return 1;
}
