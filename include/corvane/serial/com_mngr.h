#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/export.h"
#include "corvane/platform/serial_device.h"

enum COMM_ERROR : int32_t {
  COMM_NO_ERROR = 0,       // DTR switched
  COMM_WRITE_ERROR = 1,    // the last write failed while the device stayed present
  COMM_DTR_HANDSHAKE = 2,  // DTR refused: the line is under handshake control
};

enum class DtrControl : uint8_t { kDisable = 0, kEnable = 1, kHandshake = 2 };
enum class RtsControl : uint8_t { kDisable = 0, kEnable = 1, kHandshake = 2, kToggle = 3 };

// The line state that the port last gave the driver.
struct CommLineState {
  uint32_t baudRate = 0;
  uint8_t byteSize = 0;
  platform::Parity parity = platform::Parity::kNone;
  platform::StopBits stopBits = platform::StopBits::kOne;
  DtrControl dtrControl = DtrControl::kDisable;
  RtsControl rtsControl = RtsControl::kDisable;
  bool binary = false;
  bool parityCheck = false;
  bool outCtsFlow = false;
  bool outDsrFlow = false;
  bool outXonXoff = false;
  bool inXonXoff = false;
  bool abortOnError = false;
  char xonChar = 0;
  char xoffChar = 0;
  uint16_t xonLimit = 0;
  uint16_t xoffLimit = 0;
};

// The record a read or write is issued with. On POSIX the "event" of a transfer is the port
// itself (readiness is polled on its descriptor), so both records carry the port while it is open.
struct CommOverlapped {
  uint64_t offset = 0;
  const void* event = nullptr;
};

// One serial port of the host: opened exclusively, raw 115200 8N1, with blocking writes bounded
// by a 10 s time-out and reads that return at once with what has arrived. A port whose device
// vanishes (phone unplugged or re-enumerated) closes itself, so every later exchange fails at
// once; SetComPort or Open re-opens it. Once the run's cancellation is cancelled, every read,
// write, drain and wait fails at once (a wait in progress ends); the port stays open until its
// owner closes it, on the owner's thread.
class CORVANE_API CComMngr {
 public:
  static constexpr uint32_t kBaudRate = 115200;
  static constexpr uint32_t kWriteTimeoutMs = 10000;
  static constexpr uint32_t kReadWaitMs = 3000;
  static constexpr size_t kQueueSize = 0x20000;

  CComMngr();
  virtual ~CComMngr();
  CComMngr(const CComMngr&) = delete;
  CComMngr& operator=(const CComMngr&) = delete;

  int SetComPort(uint8_t port);
  void SetPort(uint8_t port) { m_nComPort = port; }
  uint8_t GetPort() const { return m_nComPort; }

  int Open();
  void Close();

  // The cancellation of the run that drives this port (null: none); it must outlive the port's
  // use. The link sets it from the window it reports to.
  void SetCancellation(const platform::Cancellation* cancellation);
  const platform::Cancellation* GetCancellation() const { return m_pCancel; }
  bool IsCancelled() const { return m_pCancel != nullptr && m_pCancel->IsCancelled(); }

  // `reserved` is accepted for callers that pass a fifth value and has no effect.
  int SetDCB(uint32_t baudRate, uint8_t byteSize, platform::Parity parity,
             platform::StopBits stopBits, int reserved);
  int SetComBaudRate(uint32_t baudRate);
  COMM_ERROR DTR(int on);

  // Writes all bytes; 1 when sent, 0 on failure (a vanished device also closes the port).
  int Write(const void* buffer, size_t length);
  // Bytes read (never more than `max`, never waiting for more to arrive); 0 when nothing came.
  size_t Read(void* buffer, size_t max);

  void Clear();       // discard what is queued in both directions
  void Clear2();      // discard and abort everything in both directions
  void ClearInput();  // discard what has arrived and not been read

  int GetOpenFlag() const { return m_bOpenFlag; }
  void SetOpenFlag(int flag) { m_bOpenFlag = flag; }
  platform::SerialDevice* GetPortHandle() const { return m_hPort.get(); }
  // Adopts an already opened device as this port's (used to attach a device of another kind).
  void SetPortHandle(std::unique_ptr<platform::SerialDevice> device);
  const void* GetReadOSEvent() const { return m_osRead.event; }
  void SetReadOSEvent(const void* event) { m_osRead.event = event; }
  const void* GetWriteOSEvent() const { return m_osWrite.event; }
  void SetWriteOSEvent(const void* event) { m_osWrite.event = event; }
  CommOverlapped GetReadOS() const { return m_osRead; }
  CommOverlapped GetWriteOS() const { return m_osWrite; }
  COMM_ERROR GetError() const { return m_eError; }
  void SetError(COMM_ERROR error) { m_eError = error; }
  const CommLineState& GetLineState() const { return m_dcb; }
  CommLineState& LineState() { return m_dcb; }

 protected:
  // Waits until the transmit queue is empty; false when it failed or the port is closed.
  bool Flush();
  // Waits up to `ms` clock milliseconds for input; returns at once when input is queued.
  void WaitForInput(uint32_t ms);
  // Sits through a pause of `ms` clock milliseconds written after a request; see the definition.
  void PauseAfterRequest(uint32_t ms);

 private:
  void DeviceVanished(uint32_t settleMs);

  COMM_ERROR m_eError = COMM_NO_ERROR;
  CommOverlapped m_osRead;
  CommOverlapped m_osWrite;
  CommLineState m_dcb;
  int m_bOpenFlag = 0;
  uint8_t m_nComPort = 0;
  std::unique_ptr<platform::SerialDevice> m_hPort;
  const platform::Cancellation* m_pCancel = nullptr;
};
