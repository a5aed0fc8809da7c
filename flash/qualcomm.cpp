// Qualcomm modems: from the diagnostic mode into download mode, NAND erase, initialise and
// finalise, reset, and finding the phone's port again after it re-enumerated.

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
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
  if (comm->MDMAsyncTx(&request, nullptr, 1) == kTxFail) {
    SendText("We can't reset the phone");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  return 1;
}

// Looks again at every poll, so that a port which appears late is found, and starts from an empty
// list each time, so that a port seen by an earlier search (and gone since) is never returned.
// A cancelled run stops looking at once: nobody waits for that phone any more.
uint8_t CBasicFlash::SearchUSBDevice() {
  const uint64_t start = platform::TickCount();
  for (;;) {
    m_Qualcomm.portList.clear();
    FindPhonePorts(m_Qualcomm.portList, 0, 0, 0);  // nothing found this time: poll again
    if (!m_Qualcomm.portList.empty()) break;
    if (platform::TickCount() - start > kSearchLimitMs ||
        platform::SleepMs(kSearchPollMs, m_Report.RunCancellation())) {
      SendCode(notify::kProgressFailed);
      SendText("We can't find new USB port");
      return kNoPort;
    }
  }
  const uint8_t port = m_Qualcomm.portList.front().portNumber;
  SendTextF("Curport: %d", port);
  return port;
}
