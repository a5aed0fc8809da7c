#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "module/basic_module.h"
#include "plugin/model_file_mngr.h"
#include "plugin/model_flash.h"
#include "plugin/model_parser.h"
#include "protocol/misc_util_comm.h"

// The download module of the model "TQ4410": its four working objects and its sequences.
class CModelModule : public CBasicModule {
 public:
  CModelModule();
  ~CModelModule() override;

  int JudgeFile(const std::string& path) override;
  void ReleaseOverrideClassObj() override;
  void MakeOverrideClassObj() override;

  // The normal download: eMMC partitions from the configuration, the Infineon images, reset.
  int StartDownload(HWND window, uint8_t port, uint8_t* const* images, int count,
                    const std::vector<std::string>& paths, uint32_t timeout, uint32_t options);

  // The ROM-copy download of one or two whole-flash images (either path may be empty).
  int FactoryDownload(HWND window, uint8_t port, const std::string& first,
                      const std::string& second, uint32_t timeout, uint32_t options);

  CModelParser* Parser() const { return static_cast<CModelParser*>(m_pParser); }
  CModelFlash* Flash() const { return static_cast<CModelFlash*>(m_pFlash); }
  CModelFileMngr* Files() const { return static_cast<CModelFileMngr*>(m_pFileMngr); }
  CMiscUtilComm* Link() const { return m_pComm; }

  // 1: partition sizes pass unchanged; 0: they count 512-byte sectors.
  int m_nSizeUnit = 0;

 private:
  struct Run;  // the arguments of one download

  void ReleaseObjects();
  bool OpenPort(const Run& run);
  bool ReadConfiguration(const Run& run, bool& haveConfig);
  uint32_t InUnit(uint32_t size) const { return m_nSizeUnit ? size : size * 512; }
  bool EraseRange(uint32_t start, uint32_t size);
  bool TotalErase();
  bool UserDataErase();
  bool WritePartitions(const Run& run);
  bool WriteInfineonImages(const Run& run);
  bool Finish();
  bool OpenPortAfresh(HWND window, uint8_t port, uint32_t timeout);
  bool WriteRomImage(const std::string& path, uint32_t options);
};
