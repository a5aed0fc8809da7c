#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "corvane/platform/process.h"
#include "corvane/platform/shared_library.h"
#include "corvane/plugin/exports.h"

namespace testing_support {

// The model plug-in loaded by path from beside the test program, its exports bound by name,
// exactly as a host binds them.
class Plugin {
 public:
  Plugin() {
    std::string error;
    const std::string name = std::string("model") + platform::kLibrarySuffix;
    library_ = platform::SharedLibrary::Load(platform::ExecutableDirectory() + "/" + name, &error);
    if (!library_) throw std::runtime_error("cannot load " + name + ": " + error);
    DoDownload = Bind<DoDownloadFn>("DoDownload");
    DoFactoryDownload = Bind<DoFactoryDownloadFn>("DoFactoryDownload");
    DoFactoryDownloadMDM = Bind<DoFactoryDownloadMDMFn>("DoFactoryDownloadMDM");
    DoUploadStart = Bind<DoUploadStartFn>("DoUploadStart");
    GetFileTypeStr = Bind<GetFileTypeStrFn>("GetFileTypeStr");
    JudgeFile = Bind<JudgeFileFn>("JudgeFile");
    FileDLOrder = Bind<FileDLOrderFn>("FileDLOrder");
  }

  template <typename Fn>
  Fn Bind(const char* name) const {
    Fn fn = library_->Bind<Fn>(name);
    if (fn == nullptr) throw std::runtime_error(std::string("the plug-in lacks ") + name);
    return fn;
  }

  DoDownloadFn DoDownload;
  DoFactoryDownloadFn DoFactoryDownload;
  DoFactoryDownloadMDMFn DoFactoryDownloadMDM;
  DoUploadStartFn DoUploadStart;
  GetFileTypeStrFn GetFileTypeStr;
  JudgeFileFn JudgeFile;
  FileDLOrderFn FileDLOrder;

 private:
  std::unique_ptr<platform::SharedLibrary> library_;
};

}  // namespace testing_support
