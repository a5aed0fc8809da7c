#include "corvane/flash/basic_flash.h"

#include <cstdarg>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "flash/boot_header.h"

CBasicFlash::CBasicFlash() = default;
CBasicFlash::~CBasicFlash() = default;

void CBasicFlash::SendTextF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  m_Report.TextV(format, args);
  va_end(args);
}

// Only `count` pointers are read: a caller's array may be shorter than the 20 slots.
void CBasicFlash::InitDLBuffer(int count, uint8_t* const* buffers) {
  for (int i = 0; i < kMaxBuffers; ++i) {
    m_pDLBuffer[i] = buffers != nullptr && i < count ? buffers[i] : nullptr;
  }
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
  platform::SleepMs(2000, m_Report.RunCancellation());
  SendCode(notify::kProgressComplete);
  return 1;
}
