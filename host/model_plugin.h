#pragma once

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/shared_library.h"
#include "corvane/plugin/exports.h"
#include "host/file_table.h"

// Every export a host may call, bound by name once when the plug-in is loaded; a null entry is
// one the plug-in lacks.
struct PluginExports {
  DoDownloadFn doDownload = nullptr;
  DoFactoryDownloadFn doFactoryDownload = nullptr;
  DoFactoryDownloadMDMFn doFactoryDownloadMdm = nullptr;
  DoUploadStartFn doUploadStart = nullptr;
  CheckDownloadFilesFn checkDownloadFiles = nullptr;
  ExecuteFunctionFn executeFunction = nullptr;
  DoDLExecuteFunctionFn doDlExecuteFunction = nullptr;
  A111Fn a111 = nullptr;
  GetFileTypeStrFn getFileTypeStr = nullptr;
  JudgeFileFn judgeFile = nullptr;
  FileDLOrderFn fileDlOrder = nullptr;
  ResourceStringFn resourceString = nullptr;
  // ReportsSteps() said 1: a run that sends no step notice wrote nothing.
  bool reportsSteps = false;
};

// The exports by name, for "the plug-in lacks ..." messages.
enum class Export {
  kDoDownload,
  kDoFactoryDownload,
  kDoFactoryDownloadMdm,
  kDoUploadStart,
  kCheckDownloadFiles,
  kExecuteFunction,
  kDoDlExecuteFunction,
  kA111,
  kGetFileTypeStr,
  kJudgeFile,
  kFileDlOrder,
  kResourceString,
};
constexpr size_t kExports = 12;

// What the plug-in's pre-flight (CheckDownloadFiles) made of a run's files.
struct FileCheck {
  enum class Verdict {
    kUsable,
    kRefused,      // a file cannot be used, or the options need one that is not given
    kUnusedFiles,  // usable, but no step would write the files the message names
    kNoCheck,      // the plug-in has no pre-flight
  };
  Verdict verdict = Verdict::kNoCheck;
  std::string message;  // names each file and says why
};

// The model plug-in, loaded by path: how every front end reaches it. Its exports are bound by
// name here and nowhere else.
class ModelPlugin {
 public:
  // Null with `error` set when the file cannot be loaded or was built for another version of
  // the plug-in boundary.
  static std::unique_ptr<ModelPlugin> Load(const std::string& path, std::string& error);

  const std::string& Path() const { return path_; }
  const PluginExports& Exports() const { return exports_; }

  static const char* NameOf(Export which);
  // "" when the plug-in has every one of `needed`; else "The plug-in <path> lacks A, B".
  std::string Lacking(std::initializer_list<Export> needed) const;

  // The three file-typing exports as the file table takes them; incomplete when one is missing.
  FileTyping Typing() const;

  // The plug-in's string `id` (1 the model name, 2 its version); "" when it has none.
  std::string String(int id) const;

  // The pre-flight of a download (`mode`: kCheckNormalDownload and the others, with their
  // paths and option bits), touching no phone. Reads every file: not on a GUI thread for long.
  FileCheck CheckFiles(int mode, const std::vector<std::string>& paths, uint32_t options) const;

 private:
  bool Has(Export which) const;

  std::string path_;
  std::unique_ptr<platform::SharedLibrary> library_;
  PluginExports exports_;
  std::array<bool, kExports> present_{};
};
