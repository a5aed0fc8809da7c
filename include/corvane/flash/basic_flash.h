#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/flash/infineon.h"
#include "corvane/flash/nvidia.h"
#include "corvane/flash/phone_control.h"
#include "corvane/flash/qualcomm.h"
#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/reporter.h"
#include "corvane/ports/serial_port_entry.h"
#include "corvane/protocol/misc_util_comm.h"
#include "corvane/protocol/packets.h"

// Everything one download run with one phone needs besides the port: the images cut from the
// firmware, the download buffers of the run, the default time-out and the window that shows
// progress. Each step talks to the phone through the link it is given, reports its outcome as
// status lines and progress codes, and returns 1 (success) or 0 (failure).
//
// Image buffers are a 32-bit little-endian length followed by that many bytes; the steps never
// read past that length. The steps of one chip family live in one source file each:
// infineon.cpp, nvidia.cpp, omap.cpp; resets, USB switches and factory data in phone_control.cpp.
class CORVANE_API CBasicFlash {
 public:
  static constexpr int kMaxBuffers = 20;
  static constexpr size_t kBootInfoSize = InfineonState::kBootInfoSize;
  static constexpr size_t kSecuritySize = InfineonState::kSecuritySize;
  static constexpr size_t kFlashAddressOffset = InfineonState::kFlashAddressOffset;
  static constexpr size_t kCodeDescWords = InfineonState::kCodeDescWords;
  static constexpr size_t kLoaderDescWords = InfineonState::kLoaderDescWords;
  static constexpr int kPartitions = NvidiaState::kPartitions;
  static constexpr size_t kBlockSize = 524288;  // 512 KiB blocks of the AP loaders
  static constexpr size_t kStagingSize = 524290;

  CBasicFlash();
  virtual ~CBasicFlash();
  CBasicFlash(const CBasicFlash&) = delete;
  CBasicFlash& operator=(const CBasicFlash&) = delete;

  // --- object, reporting -------------------------------------------------------------------
  // Takes the run's image buffers: the first `count` (at most kMaxBuffers) of the array.
  void InitDLBuffer(int count, uint8_t* const* buffers);
  uint32_t GetDefaultTimeout() const { return m_nDefaultTimeout; }
  void SetDefaultTimeout(uint32_t ms) { m_nDefaultTimeout = ms; }
  void SetParentHandle(platform::WindowHandle window) { m_Report.SetWindow(window); }
  platform::WindowHandle GetParentHandle() const { return m_Report.Window(); }
  Reporter& Report() { return m_Report; }

  // Final synchronisation with the boot loader (command 0x89).
  virtual int Complete(CMiscUtilComm* comm);

  // A status line and a progress or phase code to the parent, through the reporter.
  void SendText(const char* text) { m_Report.Text(text); }
  void SendTextF(const char* format, ...) CORVANE_PRINTF(2, 3);
  void SendCode(intptr_t code) { m_Report.Code(code); }

  // --- Infineon boot loaders (infineon.cpp) ------------------------------------------------
  int PSIRAMDownload(CMiscUtilComm* comm);
  int EBLDownload(CMiscUtilComm* comm);
  int IFXCommSet(CMiscUtilComm* comm);
  int SetIFXFlashID(CMiscUtilComm* comm);
  int IFXReqCFIInfo_1(CMiscUtilComm* comm);
  int IFXReqCFIInfo_2(CMiscUtilComm* comm);
  int BasicIFXSetting(CMiscUtilComm* comm);
  int IFXSecuritySettingA(CMiscUtilComm* comm, uint32_t ignored, uint32_t flags);
  int IFXSecuritySettingB(CMiscUtilComm* comm, uint32_t ignored);
  int IFXSecuritySettingC(CMiscUtilComm* comm, uint32_t ignored, uint32_t flags);

  // --- Infineon image and flash programming (infineon.cpp) ---------------------------------
  int ExtractPsiEbl(const uint8_t* image, CMiscUtilComm* comm);
  int ExtractDataFromIFX(const uint8_t* image, CMiscUtilComm* comm);
  static uint16_t IFX_CheckSumB(const uint8_t* data, uint16_t length);
  int IFXReqStartA(CMiscUtilComm* comm);
  int IFXReqStartB(CMiscUtilComm* comm);
  int IFXEraseAll(CMiscUtilComm* comm);
  int IFXErase(CMiscUtilComm* comm);
  int IFXEraseCheck(CMiscUtilComm* comm);
  int IFXReqFlashSetAddress(CMiscUtilComm* comm);
  int IFXDownload(const uint8_t* image, CMiscUtilComm* comm);
  int IFXDownloadB(const uint8_t* image, CMiscUtilComm* comm);
  int IFXReqEnd(CMiscUtilComm* comm);
  int IFXNormalDownload(const uint8_t* image, CMiscUtilComm* comm);
  int IFXNormalDownloadB(const uint8_t* image, CMiscUtilComm* comm);
  int IFXFactoryDownload(const char* path, CMiscUtilComm* comm, uint32_t flags);
  // What IFXFactoryDownload checks before it touches the phone, alone: 1, or 0 with a line and
  // 200. The other factory formats have the same (they report refusals as lines, not boxes).
  int IFXFactoryCheck(const char* path);

  // --- NVIDIA (nvidia.cpp) -----------------------------------------------------------------
  int BCTSetup(uint8_t selector, CMiscUtilComm* comm);
  int BCTDownload(const uint8_t* image, uint8_t selector, CMiscUtilComm* comm, uint32_t parameter);
  int NormalDownload(const uint8_t* image, uint8_t partition, CMiscUtilComm* comm);
  int nVidiaFactoryDownload(const char* path, CMiscUtilComm* comm);
  int nVidiaFactoryCheck(const char* path);

  // --- OMAP eMMC (omap.cpp) ----------------------------------------------------------------
  int OMAPFlashStart(CMiscUtilComm* comm);
  int OMAPErasePart(uint32_t start, uint32_t length, CMiscUtilComm* comm);
  int OMAPNormalDownload(const uint8_t* image, uint8_t partition, uint32_t address, uint32_t size,
                         CMiscUtilComm* comm);
  int OMAPFileBaseDownload(const char* path, uint8_t partition, uint32_t address, uint32_t size,
                           CMiscUtilComm* comm);
  // The same for a file whose length the caller recorded earlier (when its run started): a file
  // that no longer has that length, or yields fewer bytes while it streams, fails with a line
  // and 200 rather than leave its partition written short.
  int OMAPFileBaseDownload(const char* path, uint8_t partition, uint32_t address, uint32_t size,
                           CMiscUtilComm* comm, uint64_t recordedLength);
  int OMAPFactoryDownload(const char* path, CMiscUtilComm* comm);
  int OMAPFactoryCheck(const char* path);

  // --- Qualcomm modem download mode (qualcomm.cpp) ------------------------------------------
  int MDMSendCmdLineToPhone(CMiscUtilComm* comm);
  int MDMDloadSet(CMiscUtilComm* comm);
  int MDMDLoadNoopF(CMiscUtilComm* comm);
  int MDMChangeDloadHDLCMode(int mode, CMiscUtilComm* comm);
  int MDMChangeHDLCMode(int mode);
  int WriteForMDMBIN(CMiscUtilComm* comm);
  int MDMDownLoadErase(uint32_t firstBlock, uint32_t endBlock, CMiscUtilComm* comm);
  int MDMNandFlashInit(uint32_t block, CMiscUtilComm* comm);
  int MDMNandFlashFinalize(CMiscUtilComm* comm);
  int MDMDownLoadReset(CMiscUtilComm* comm);
  // Notes the ports there are just before a command makes the phone leave `comm`'s port (the
  // switch to download mode, the reset, the switch to the application processor send it).
  void NotePortsBeforeSwitch(const CMiscUtilComm* comm);
  // The port of the phone after it re-enumerated: its number, or 255 when none appeared in 20 s
  // or when it cannot be told from another phone's. Only a port that was not there before the
  // switch, that no run holds, and in the phone's USB socket where that is known, is the phone's.
  uint8_t SearchUSBDevice();

  // --- resets, USB switches, factory data (phone_control.cpp) ------------------------------
  int NormalReset(CMiscUtilComm* comm);
  int PreNormalReset(CMiscUtilComm* comm);
  int CPUSBSwitch(CMiscUtilComm* comm);
  int SwitchUSBToAP(CMiscUtilComm* comm);
  int ExtractFactoryInfo(CMiscUtilComm* comm);

  // --- members ------------------------------------------------------------------------------
  Reporter m_Report;  // the parent window and the text last sent
  const uint8_t* m_pDLBuffer[kMaxBuffers] = {};
  uint32_t m_nDefaultTimeout = 0;
  // Each chip family's state, declared beside its steps.
  InfineonState m_Infineon;
  NvidiaState m_Nvidia;
  QualcommState m_Qualcomm;
  PhoneControlState m_PhoneControl;

 protected:
  // The 32-bit length that leads an image buffer, and its data.
  static uint32_t ImageLength(const uint8_t* image);
  static const uint8_t* ImageData(const uint8_t* image) { return image + 4; }
};
