// Resets, USB switches and the factory data of the phone.

#include <algorithm>
#include <cstring>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/notify.h"
#include "flash/boot_header.h"

namespace {

constexpr uint32_t kFactoryInfoTimeoutMs = 10000;
constexpr uint8_t kSwitchUsbToAp = 0x60;  // DLOAD: hand the USB link to the application processor
constexpr size_t kModelNameOffset = 1;
constexpr size_t kPidOffset = 16;

}  // namespace

namespace {

// One bare boot-loader command; on failure its text and code 200.
int SimpleCommand(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t command, const char* failure) {
  const BootHeader h(command);
  // A corrupt answer could have been a refusal: only an acknowledgement counts.
  if (comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, flash.GetDefaultTimeout()) !=
      kTxOk) {
    flash.SendText(failure);
    flash.SendCode(notify::kProgressFailed);
    return 0;
  }
  return 1;
}

}  // namespace

int CBasicFlash::NormalReset(CMiscUtilComm* comm) {
  return SimpleCommand(*this, comm, boot_cmd::kNormalReset, "We can't reset phone");
}

int CBasicFlash::PreNormalReset(CMiscUtilComm* comm) {
  return SimpleCommand(*this, comm, boot_cmd::kPreReset, "We can't pre reset phone");
}

int CBasicFlash::CPUSBSwitch(CMiscUtilComm* comm) {
  return SimpleCommand(*this, comm, boot_cmd::kCpUsbSwitch, "We can't cp USB switching");
}

int CBasicFlash::SwitchUSBToAP(CMiscUtilComm* comm) {
  const uint8_t request = kSwitchUsbToAp;
  NotePortsBeforeSwitch(comm);
  if (comm->MDMAsyncTx(&request, nullptr, 1) == kTxFail) {
    SendText("We can't switch USB to AP");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  return 1;
}

int CBasicFlash::ExtractFactoryInfo(CMiscUtilComm* comm) {
  const BootHeader h(boot_cmd::kFactoryInfo);
  if (comm->AsyncTxRxEx(h.data(), &m_PhoneControl.factoryRsp, BootHeader::kLength,
                        kFactoryInfoTimeoutMs) != kTxOk) {
    SendText("fail to extract factory info");
    return 0;
  }
  // The window reads a name up to its zero and a 64-byte PID block from byte 16, which runs
  // past the 54-byte record: both are handed out of a copy of the whole answer, zero-filled
  // beyond what the phone sent, so the reads stay inside it.
  const size_t body = comm->ResponseLength() >= 2 ? comm->ResponseLength() - 2 : 0;
  std::memset(m_PhoneControl.factoryData, 0, sizeof m_PhoneControl.factoryData);
  std::memcpy(m_PhoneControl.factoryData, comm->ResponseBytes(),
              std::min(body, sizeof m_PhoneControl.factoryData - 1));
  SendText("Get Factory Info");
  SendCode(90);
  platform::SendWindowMessage(
      GetParentHandle(), notify::kMsgFactory, notify::kFactoryModelName,
      reinterpret_cast<platform::LPARAM>(m_PhoneControl.factoryData + kModelNameOffset));
  platform::SendWindowMessage(
      GetParentHandle(), notify::kMsgFactory, notify::kFactoryPid,
      reinterpret_cast<platform::LPARAM>(m_PhoneControl.factoryData + kPidOffset));
  return 1;
}
