// Qualcomm modems: from the diagnostic mode into download mode, NAND erase, initialise and
// finalise, reset, and finding the phone's port again after it re-enumerated.

#include <algorithm>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/serial_device.h"
#include "corvane/ports/find_phone_ports.h"

namespace {

namespace diag_cmd {
constexpr uint8_t kModeControl = 0x29;
constexpr uint8_t kEnterDownload = 0x3A;
}  // namespace diag_cmd

namespace dload_cmd {
constexpr uint8_t kNoop = 0x06;
constexpr uint8_t kReset = 0x0A;
constexpr uint8_t kNandInit = 0x40;
constexpr uint8_t kNandFinalize = 0x42;
constexpr uint8_t kNandErase = 0x4D;
constexpr uint8_t kHdlcMode = 0xFD;
}  // namespace dload_cmd

constexpr uint32_t kEraseTimeoutMs = 400000;
constexpr uint32_t kRetryPauseMs = 1000;
constexpr uint32_t kFinalizeSettleMs = 30;
constexpr uint32_t kSearchPollMs = 200;
constexpr uint32_t kSearchLimitMs = 20000;
constexpr uint8_t kNoPort = 255;

// The same port as before: a device name alone is not enough, since a re-enumerated phone often
// gets the name its old port had (ttyACM0 again, the same pseudo-terminal); its new enumeration
// has an address of its own (and its new mode other USB ids).
bool SamePort(const SerialPortEntry& a, const SerialPortEntry& b) {
  return a.devicePath == b.devicePath && a.usbAddress == b.usbAddress &&
         a.description == b.description && a.usbVendor == b.usbVendor &&
         a.usbProduct == b.usbProduct && a.usbInterface == b.usbInterface &&
         a.usbPath == b.usbPath && a.usbSerial == b.usbSerial;
}

// The ports among `found` that may be this phone's: new since the switch, in its socket where
// that is known, and held by no run (looked at last, and only for these: a look takes the port's
// lock for an instant, which must not refuse another phone's run its own port).
std::vector<SerialPortEntry> PortsOfThisPhone(const QualcommState& q,
                                              const std::vector<SerialPortEntry>& found) {
  std::vector<SerialPortEntry> out;
  for (const SerialPortEntry& e : found) {
    const bool old = std::any_of(q.beforeSwitch.begin(), q.beforeSwitch.end(),
                                 [&](const SerialPortEntry& b) { return SamePort(b, e); });
    if (old || (!q.usbPath.empty() && e.usbPath != q.usbPath)) continue;
    if (!platform::HeldElsewhere(e.devicePath)) out.push_back(e);
  }
  return out;
}

int Diag(CMiscUtilComm* comm, std::initializer_list<uint8_t> request, uint32_t timeoutMs) {
  const std::vector<uint8_t> bytes(request);
  return comm->AsyncTxRx(bytes.data(), nullptr, bytes.size(), timeoutMs, 1);
}

}  // namespace

int CBasicFlash::MDMSendCmdLineToPhone(CMiscUtilComm* comm) {
  SendCode(0);
  const auto request = {diag_cmd::kModeControl, uint8_t{0x01}, uint8_t{0x00}};
  if (Diag(comm, request, m_nDefaultTimeout) == kTxFail) {
    SendText("Retry SendCmd ");
    platform::SleepMs(kRetryPauseMs, comm->GetCancellation());
    if (Diag(comm, request, m_nDefaultTimeout) == kTxFail) {
      SendText("We can't communicate with Phone");
      return 0;
    }
  }
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMDloadSet(CMiscUtilComm* comm) {
  SendCode(0);
  NotePortsBeforeSwitch(comm);
  if (Diag(comm, {diag_cmd::kEnterDownload, 0x00}, m_nDefaultTimeout) == kTxFail) {
    SendText("We can't change DLOAD mode");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMDLoadNoopF(CMiscUtilComm* comm) {
  return Diag(comm, {dload_cmd::kNoop, 0x00}, m_nDefaultTimeout) == kTxFail ? 0 : 1;
}

// Mode 0 asks for raw (non-HDLC) transfers.
int CBasicFlash::MDMChangeDloadHDLCMode(int mode, CMiscUtilComm* comm) {
  SendCode(0);
  const uint8_t raw = mode == 0 ? 1 : 0;
  if (Diag(comm, {dload_cmd::kHdlcMode, raw}, m_nDefaultTimeout) == kTxFail) {
    SendText("We can't change NONHDLC mode");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  MDMChangeHDLCMode(mode);
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMChangeHDLCMode(int mode) {
  m_Qualcomm.nonHdlcMode = mode == 0 ? 1 : 0;
  return 1;
}

int CBasicFlash::WriteForMDMBIN(CMiscUtilComm* comm) { return MDMChangeDloadHDLCMode(0, comm); }

int CBasicFlash::MDMDownLoadErase(uint32_t firstBlock, uint32_t endBlock, CMiscUtilComm* comm) {
  SendText("Erase Start...");
  SendCode(0);
  uint8_t request[9] = {dload_cmd::kNandErase};
  bytes::StoreBe32(request + 1, firstBlock);
  bytes::StoreBe32(request + 5, endBlock);
  if (comm->MDMAsyncTxRx(request, nullptr, sizeof request, kEraseTimeoutMs) == kTxFail) {
    SendText("NAND Erase Fail !");
    return 0;
  }
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMNandFlashInit(uint32_t block, CMiscUtilComm* comm) {
  SendCode(0);
  uint8_t request[5] = {dload_cmd::kNandInit};
  bytes::StoreBe32(request + 1, block);
  if (comm->MDMAsyncTxRx(request, nullptr, sizeof request, m_nDefaultTimeout) == kTxFail) {
    SendText("error!");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMNandFlashFinalize(CMiscUtilComm* comm) {
  SendCode(0);
  const uint8_t request = dload_cmd::kNandFinalize;
  if (comm->MDMAsyncTxRx(&request, nullptr, 1, m_nDefaultTimeout) == kTxFail) {
    SendText("We can't finalize NAND Flash!");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  platform::SleepMs(kFinalizeSettleMs, comm->GetCancellation());
  SendCode(100);
  return 1;
}

int CBasicFlash::MDMDownLoadReset(CMiscUtilComm* comm) {
  const uint8_t request = dload_cmd::kReset;
  NotePortsBeforeSwitch(comm);
  if (comm->MDMAsyncTx(&request, nullptr, 1) == kTxFail) {
    SendText("We can't reset the phone");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  return 1;
}

void CBasicFlash::NotePortsBeforeSwitch(const CMiscUtilComm* comm) {
  m_Qualcomm.beforeSwitch.clear();
  FindPhonePorts(m_Qualcomm.beforeSwitch, 0, 0, 1);
  m_Qualcomm.usbPath.clear();
  for (const SerialPortEntry& e : m_Qualcomm.beforeSwitch) {
    if (e.portNumber == comm->GetPort()) m_Qualcomm.usbPath = e.usbPath;
  }
}

// Looks again at every poll, so that a port which appears late is found, and starts from an empty
// list each time, so that a port seen by an earlier search (and gone since) is never returned.
// A cancelled run stops looking at once: nobody waits for that phone any more. Another phone
// switched at the same moment comes back on a new port too, maybe first: without the socket
// to tell them apart, two new ports are a guess that could write one phone's image into the
// other, so the run fails instead.
uint8_t CBasicFlash::SearchUSBDevice() {
  const uint64_t start = platform::TickCount();
  std::vector<SerialPortEntry> mine;
  for (;;) {
    m_Qualcomm.portList.clear();
    FindPhonePorts(m_Qualcomm.portList, 0, 0, 0);
    mine = PortsOfThisPhone(m_Qualcomm, m_Qualcomm.portList);
    if (!mine.empty()) break;  // nothing found this time: poll again
    if (platform::TickCount() - start > kSearchLimitMs ||
        platform::SleepMs(kSearchPollMs, m_Report.RunCancellation())) {
      SendCode(notify::kProgressFailed);
      SendText("We can't find new USB port");
      return kNoPort;
    }
  }
  if (mine.size() > 1 && m_Qualcomm.usbPath.empty()) {
    SendText("More than one new port: cannot tell which one is this phone");
    SendCode(notify::kProgressFailed);
    return kNoPort;
  }
  // Several new ports in the phone's own socket are all its own (interfaces of one device).
  const uint8_t port = mine.front().portNumber;
  SendTextF("Curport: %d", port);
  return port;
}
