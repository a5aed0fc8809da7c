#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/reporter.h"

class CBasicFlash;
class CFileMngr;
class CMiscUtilComm;
class CZelParserBasic;

// The base of a phone model's download module. A model derives one class from it; the module
// owns the four working objects of one download (parser, flash procedures, file manager, link),
// made and released by the two overridable operations, and carries the model's sequences.
class CORVANE_API CBasicModule {
 public:
  static constexpr const char* kNotOverridden =
      "We can't call interface function\n Use overriding function";

  CBasicModule();
  virtual ~CBasicModule();
  CBasicModule(const CBasicModule&) = delete;
  CBasicModule& operator=(const CBasicModule&) = delete;

  virtual int JudgeFile(const std::string& path);
  virtual void ReleaseOverrideClassObj();
  virtual void MakeOverrideClassObj();

  // The normal download of a model; the base only says that the model must provide it.
  virtual int StartDownload(platform::WindowHandle window, uint8_t port, uint8_t* const* images,
                            int count, const std::vector<std::string>& paths, uint32_t timeout,
                            uint32_t options);

  // Records the window and tells it the module is under way (progress 30).
  void SetParentHandle(platform::WindowHandle window);

  platform::WindowHandle GetParentHandle() const { return m_Report.Window(); }
  Reporter& Report() { return m_Report; }

  // A status line and a progress code to the window (nothing without one).
  void SendText(const char* text) { m_Report.Text(text); }
  void SendTextF(const char* format, ...) CORVANE_PRINTF(2, 3);
  void SendCode(intptr_t code) { m_Report.Code(code); }

  Reporter m_Report;  // the window and the text last sent
  // The working objects, made by MakeOverrideClassObj and released by ReleaseOverrideClassObj
  // (or with the module).
  std::unique_ptr<CZelParserBasic> m_pParser;
  std::unique_ptr<CBasicFlash> m_pFlash;
  std::unique_ptr<CFileMngr> m_pFileMngr;
  std::unique_ptr<CMiscUtilComm> m_pComm;
};
