#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "corvane/module/basic_module.h"
#include "corvane/protocol/misc_util_comm.h"
#include "plugin/model_file_mngr.h"
#include "plugin/model_flash.h"
#include "plugin/model_parser.h"

// The download module of the model "TQ4410": its four working objects and its sequences.
class CModelModule : public CBasicModule {
 public:
  CModelModule();
  ~CModelModule() override;

  int JudgeFile(const std::string& path) override;
  void ReleaseOverrideClassObj() override;
  void MakeOverrideClassObj() override;

  // The normal download: eMMC partitions from the configuration, the Infineon images, reset.
  int StartDownload(platform::WindowHandle window, uint8_t port, uint8_t* const* images, int count,
                    const std::vector<std::string>& paths, uint32_t timeout,
                    uint32_t options) override;

  // The ROM-copy download of one or two whole-flash images (either path may be empty).
  int FactoryDownload(platform::WindowHandle window, uint8_t port, const std::string& first,
                      const std::string& second, uint32_t timeout, uint32_t options);

  // The MDM download: the modem's NAND partitions from the MDM image (skipped when its path is
  // empty), then the application processor's NVIDIA factory file, across the phone's
  // re-enumerations from its diagnostic port to download mode and to the application processor.
  int FactoryDownloadMDM(platform::WindowHandle window, uint8_t port, const std::string& mdmPath,
                         const std::string& apPath, uint32_t timeout);

  // Programs the partition set of the file manager into the modem's NAND over the open link
  // (slots 4 to 7, then 0 to 3, as their switches allow); 1 or 0.
  int ProgramNandPartitions();

  // What CheckDownloadFiles answers (1, kCheckRefused, kCheckUnusedFiles) and its message, which
  // names each file and says why.
  struct FileVerdict {
    int answer = 1;
    std::string message;
  };
  // Checks the files of a download (CheckDownloadFiles' modes and arguments) with the readers
  // its sequence uses, touching no phone.
  FileVerdict CheckFiles(int mode, const std::vector<std::string>& paths, uint32_t options);

  // Reads `sectors` 512-byte sectors of the phone's memory from `address` into `outPath`.
  int UploadStart(platform::WindowHandle window, uint8_t port, const std::string& outPath,
                  uint32_t sectors, uint32_t address, uint32_t timeout);

  CModelParser* Parser() const { return static_cast<CModelParser*>(m_pParser.get()); }
  CModelFlash* Flash() const { return static_cast<CModelFlash*>(m_pFlash.get()); }
  CModelFileMngr* Files() const { return static_cast<CModelFileMngr*>(m_pFileMngr.get()); }
  CMiscUtilComm* Link() const { return m_pComm.get(); }
  // Step notices go through the flash object's reporter, since its transfers report progress.
  Reporter& Steps() const { return Flash()->Report(); }

  // 1: partition sizes pass unchanged; 0: they count 512-byte sectors.
  int m_nSizeUnit = 0;

 private:
  struct Run;  // the arguments of one download

  void ReleaseObjects();
  bool ReadConfiguration(const Run& run, bool& haveConfig);
  uint32_t InUnit(uint32_t size) const { return m_nSizeUnit ? size : size * 512; }
  bool EraseRange(uint32_t start, uint32_t size);
  bool TotalErase();
  bool UserDataErase();
  bool WritePartitions(const Run& run);
  bool WritePartition(const Run& run, int file, const CModelParser::Range& range);
  bool WriteInfineonImages(const Run& run);
  // The security steps that bracket an Infineon image of `kind` (erasing what it is written to).
  bool SecureBracket(uint8_t kind, uint32_t options);
  bool Finish();
  bool OpenPortAfresh(platform::WindowHandle window, uint8_t port, uint32_t timeout);
  // The pre-flight of each download (file_check.cpp): "" or the refusal; files that no step
  // would write are added to `unused`, one line each.
  using Refusal = std::function<std::string(const std::string&)>;
  std::string CheckNormalFiles(const std::vector<std::string>& paths, uint32_t options,
                               const Refusal& refused, std::vector<std::string>& unused);
  std::string CheckPartitionFiles(const std::vector<std::string>& paths, bool haveConfig,
                                  std::vector<bool>& written);
  std::string CheckRomImages(const std::vector<std::string>& paths, uint32_t options,
                             const Refusal& refused, std::vector<std::string>& unused);
  std::string CheckMdmFiles(const std::vector<std::string>& paths, const Refusal& refused);
  bool WriteRomImage(const std::string& path, int index, uint32_t options);

  // MDM download (mdm_sequence.cpp).
  bool DownloadModem(const std::string& mdmPath);
  bool SwitchToDownloadMode();
  bool ProbeDownloadMode();
  bool DownloadApplicationProcessor(const std::string& apPath, uint32_t timeout);
  bool OpenFoundPort(uint8_t port);
  void ResetLineSettings();

  // NAND programming (nand_programming.cpp).
  int ProgramNandSlot(size_t slot);
  bool EraseNandSlot(size_t slot);
  int WriteNandSlot(const mdm::Slot& slot);

  // Upload (upload_sequence.cpp).
  bool ReadMemoryInto(std::ofstream& out, uint32_t sectors, uint32_t address, uint32_t timeout);
};
