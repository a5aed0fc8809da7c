#include "corvane/serial/com_mngr.h"

#include <chrono>
#include <thread>

#include "corvane/platform/clock.h"
#include "corvane/platform/port_table.h"

using platform::IoStatus;

CComMngr::CComMngr() = default;

// The owner closes the port; a port left open is closed with its device all the same.
CComMngr::~CComMngr() = default;

int CComMngr::SetComPort(uint8_t port) {
  if (m_bOpenFlag) return 1;
  m_nComPort = port;
  return Open();
}

int CComMngr::Open() {
  if (m_bOpenFlag) return 0;
  const std::string path = platform::PortPath(m_nComPort);
  auto device = platform::SerialDevice::Create();
  if (path.empty() || !device->Open(path)) return 0;
  device->WatchCancellation(m_pCancel);
  m_hPort = std::move(device);
  m_bOpenFlag = 1;
  if (!SetDCB(kBaudRate, 8, platform::Parity::kNone, platform::StopBits::kOne, 0)) {
    m_bOpenFlag = 0;
    m_hPort.reset();
    return 0;
  }
  DTR(1);
  m_osRead = CommOverlapped{0, m_hPort.get()};
  m_osWrite = CommOverlapped{0, m_hPort.get()};
  Clear();
  return 1;
}

void CComMngr::SetCancellation(const platform::Cancellation* cancellation) {
  m_pCancel = cancellation;
  if (m_hPort) m_hPort->WatchCancellation(cancellation);
}

void CComMngr::SetPortHandle(std::unique_ptr<platform::SerialDevice> device) {
  m_hPort = std::move(device);
  if (m_hPort) m_hPort->WatchCancellation(m_pCancel);
  m_bOpenFlag = m_hPort && m_hPort->IsOpen() ? 1 : 0;
  m_osRead = CommOverlapped{0, m_hPort.get()};
  m_osWrite = CommOverlapped{0, m_hPort.get()};
}

int CComMngr::SetDCB(uint32_t baudRate, uint8_t byteSize, platform::Parity parity,
                     platform::StopBits stopBits, int /*reserved*/) {
  if (!m_hPort) return 0;
  CommLineState s = m_dcb;
  s.baudRate = baudRate;
  s.byteSize = byteSize;
  s.parity = parity;
  s.stopBits = stopBits;
  s.binary = true;
  s.parityCheck = true;
  s.dtrControl = DtrControl::kEnable;
  s.rtsControl = RtsControl::kEnable;
  s.abortOnError = true;
  s.outCtsFlow = s.outDsrFlow = s.outXonXoff = s.inXonXoff = false;
  s.xonChar = 0x11;
  s.xoffChar = 0x13;
  s.xonLimit = 100;
  s.xoffLimit = 100;
  if (!m_hPort->SetLine({baudRate, byteSize, parity, stopBits})) return 0;
  m_dcb = s;
  return 1;
}

int CComMngr::SetComBaudRate(uint32_t baudRate) {
  if (!m_hPort || !m_hPort->SetBaud(baudRate)) return 0;
  m_dcb.baudRate = baudRate;
  return 1;
}

COMM_ERROR CComMngr::DTR(int on) {
  if (m_dcb.dtrControl == DtrControl::kHandshake) return COMM_DTR_HANDSHAKE;
  // Pseudo-terminals and some USB adapters have no modem lines; the request is best effort.
  if (m_hPort) m_hPort->SetDtr(on != 0);
  return COMM_NO_ERROR;
}

int CComMngr::Write(const void* buffer, size_t length) {
  if (!m_bOpenFlag || !m_hPort || IsCancelled()) return 0;
  const IoStatus status = m_hPort->Write(buffer, length, platform::RealMs(kWriteTimeoutMs));
  switch (status) {
    case IoStatus::kOk:
      return 1;
    case IoStatus::kVanished:
      Close();
      return 0;
    case IoStatus::kTimeout:
    case IoStatus::kError:
      m_eError = COMM_WRITE_ERROR;
      return 0;
    case IoStatus::kCancelled:
      return 0;
  }
  return 0;
}

size_t CComMngr::Read(void* buffer, size_t max) {
  if (!m_bOpenFlag || !m_hPort || IsCancelled()) return 0;
  size_t got = 0;
  const IoStatus status = m_hPort->Read(buffer, max, got);
  if (status == IoStatus::kVanished) {
    DeviceVanished(1000);
    return 0;
  }
  return status == IoStatus::kOk ? got : 0;
}

void CComMngr::DeviceVanished(uint32_t settleMs) {
  Close();
  // Give the system time to finish removing (or re-announcing) the device.
  platform::SleepMs(settleMs, m_pCancel);
}

void CComMngr::Clear() {
  if (m_hPort) m_hPort->Purge(true, true);
}

void CComMngr::Clear2() {
  if (m_hPort) m_hPort->Purge(true, true);
}

void CComMngr::ClearInput() {
  if (m_hPort) m_hPort->Purge(true, false);
}

bool CComMngr::Flush() {
  if (!m_bOpenFlag || !m_hPort || IsCancelled()) return false;
  const IoStatus status = m_hPort->Drain(platform::RealMs(kWriteTimeoutMs));
  if (status == IoStatus::kVanished) Close();
  return status == IoStatus::kOk;
}

void CComMngr::WaitForInput(uint32_t ms) {
  if (!m_bOpenFlag || !m_hPort || IsCancelled()) return;
  m_hPort->WaitReadable(platform::RealMs(ms));
}

// The phone works on the request during the first part of the pause; only what is left of it once
// the answer is queued keeps the phone waiting, so only that part is counted as the sequence's own
// pause. The pause lasts as long as ever, so the next byte goes out on the wire when it always did.
void CComMngr::PauseAfterRequest(uint32_t ms) {
  using Steady = std::chrono::steady_clock;
  const int realMs = platform::RealMs(ms);
  const Steady::time_point end = Steady::now() + std::chrono::milliseconds(realMs);
  if (m_bOpenFlag && m_hPort && !IsCancelled()) m_hPort->WaitReadable(realMs);
  const Steady::time_point answered = Steady::now();
  if (answered >= end) return;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - answered);
  if (m_pCancel != nullptr && left.count() >= 1)
    m_pCancel->WaitRealMs(static_cast<int>(left.count()));
  if (!IsCancelled()) std::this_thread::sleep_until(end);
  platform::CountPause(static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - answered).count()));
}

// What the phone has not read yet is still sent (bounded by the write time-out; a cancelled run
// does not wait for it): only the input is discarded.
void CComMngr::Close() {
  if (!m_bOpenFlag) return;
  if (m_hPort && !IsCancelled()) m_hPort->Drain(platform::RealMs(kWriteTimeoutMs));
  m_bOpenFlag = 0;
  DTR(0);
  ClearInput();
  // The open flag can be set by hand (SetOpenFlag) without a device behind it.
  if (m_hPort) m_hPort->Close();
  m_hPort.reset();
  m_osRead.event = nullptr;
  m_osWrite.event = nullptr;
}
