#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/module/basic_module.h"
#include "corvane/protocol/misc_util_comm.h"

// The download module of an example model, "EX100". A model derives one such class from
// CBasicModule: it makes the working objects it needs, types the model's files, and runs the
// model's sequences over the link, reporting each step to the host's window.
class CExampleModule : public CBasicModule {
 public:
  static constexpr const char* kModelName = "EX100";

  ~CExampleModule() override;

  int JudgeFile(const std::string& path) override;
  void MakeOverrideClassObj() override;
  void ReleaseOverrideClassObj() override;

  int StartDownload(platform::WindowHandle window, uint8_t port, uint8_t* const* images, int count,
                    const std::vector<std::string>& paths, uint32_t timeout,
                    uint32_t options) override;

  // The files of a normal download, read without touching a phone: "" when the model could
  // write them all, else why not, naming the file.
  std::string CheckFiles(const std::vector<std::string>& paths) const;

  // The model's kinds of file: the text the host's file list shows and the download order
  // (smaller first, 255 for a file the model does not know).
  static std::string TypeText(const std::string& path);
  static int DownloadOrder(const std::string& name);

  CMiscUtilComm* Link() const { return m_pComm.get(); }

 private:
  bool OpenLink(platform::WindowHandle window, uint8_t port);
  bool WriteImage(int index, const std::string& path, uint64_t bytes);
};
