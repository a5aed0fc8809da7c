#pragma once

#include <cstdint>
#include <string>

#include "corvane/module/file_mngr.h"
#include "plugin/mdm_image.h"

// The model's file typing (its extensions and its kind table, on the bare file name) and the
// reading of the modem's MDM image into the partition set that the NAND programming writes.
class CModelFileMngr : public CFileMngr {
 public:
  std::string GetFileTypeStr(const std::string& path) override;
  int JudgeFile(const std::string& path) override;
  uint8_t FileDLOrder(const std::string& path) override;

  // Reads the MDM image at `path` into the partition set, reporting to the parent window;
  // 1 or 0. With `step`, the step that reports there gets the SHA-256 of the file as it was
  // read. The second form reads from any source of bytes.
  int ReadMDMImage(const std::string& path, Reporter* step = nullptr);
  int ReadMDMImage(mdm::ByteSource& source);
  // Gives the buffers back once the partitions are written.
  void ReleaseMDMImage() { m_Partitions.Release(); }

  mdm::PartitionSet m_Partitions;

 private:
  void SendText(const char* text) { m_Report.Text(text); }
  void SendCode(intptr_t code) { m_Report.Code(code); }
  int Refuse(const std::string& text);
  int ReadFrom(mdm::ByteSource& source);
};
