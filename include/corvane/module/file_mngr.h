#pragma once

#include <cstdint>
#include <string>

#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/reporter.h"

// Types the files of a download from their names alone: whether the model takes a file, what
// kind of image it is, and in which order it is written. A model derives its own.
class CORVANE_API CFileMngr {
 public:
  CFileMngr() = default;
  virtual ~CFileMngr() = default;
  CFileMngr(const CFileMngr&) = delete;
  CFileMngr& operator=(const CFileMngr&) = delete;

  virtual std::string GetFileTypeStr(const std::string& path);
  virtual int JudgeFile(const std::string& path);
  // The download order code of a file (the model's kind table; 0 in the base).
  virtual uint8_t FileDLOrder(const std::string& path);

  void SetParentHandle(platform::WindowHandle window) { m_Report.SetWindow(window); }
  platform::WindowHandle GetParentHandle() const { return m_Report.Window(); }

 protected:
  Reporter m_Report;  // the window and the text last sent
};
