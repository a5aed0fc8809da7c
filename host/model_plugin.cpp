#include "host/model_plugin.h"

#include <array>
#include <type_traits>

std::unique_ptr<ModelPlugin> ModelPlugin::Load(const std::string& path, std::string& error) {
  auto library = platform::SharedLibrary::Load(path, &error);
  if (!library) return nullptr;
  const auto version = library->Bind<PluginAbiVersionFn>("PluginAbiVersion");
  if (version == nullptr) {
    error = path + " is not a model plug-in of this program: it has no PluginAbiVersion";
    return nullptr;
  }
  if (const int built = version(); built != kPluginAbiVersion) {
    error = path + " was built for plug-in interface version " + std::to_string(built) +
            "; this program takes version " + std::to_string(kPluginAbiVersion);
    return nullptr;
  }
  auto plugin = std::unique_ptr<ModelPlugin>(new ModelPlugin());
  plugin->path_ = path;
  PluginExports& e = plugin->exports_;
  const auto bind = [&](auto& slot, Export which) {
    slot = library->Bind<std::remove_reference_t<decltype(slot)>>(NameOf(which));
    plugin->present_[static_cast<size_t>(which)] = slot != nullptr;
  };
  bind(e.doDownload, Export::kDoDownload);
  bind(e.doFactoryDownload, Export::kDoFactoryDownload);
  bind(e.doFactoryDownloadMdm, Export::kDoFactoryDownloadMdm);
  bind(e.doUploadStart, Export::kDoUploadStart);
  bind(e.checkDownloadFiles, Export::kCheckDownloadFiles);
  bind(e.executeFunction, Export::kExecuteFunction);
  bind(e.doDlExecuteFunction, Export::kDoDlExecuteFunction);
  bind(e.a111, Export::kA111);
  bind(e.getFileTypeStr, Export::kGetFileTypeStr);
  bind(e.judgeFile, Export::kJudgeFile);
  bind(e.fileDlOrder, Export::kFileDlOrder);
  bind(e.resourceString, Export::kResourceString);
  const auto reportsSteps = library->Bind<ReportsStepsFn>("ReportsSteps");
  e.reportsSteps = reportsSteps != nullptr && reportsSteps() == 1;
  plugin->library_ = std::move(library);
  return plugin;
}

const char* ModelPlugin::NameOf(Export which) {
  static constexpr std::array<const char*, kExports> kNames = {
      "DoDownload",         "DoFactoryDownload", "DoFactoryDownloadMDM", "DoUploadStart",
      "CheckDownloadFiles", "ExecuteFunction",   "DoDLExecuteFunction",  "_A111",
      "GetFileTypeStr",     "JudgeFile",         "FileDLOrder",          "ResourceString"};
  return kNames[static_cast<size_t>(which)];
}

bool ModelPlugin::Has(Export which) const { return present_[static_cast<size_t>(which)]; }

std::string ModelPlugin::Lacking(std::initializer_list<Export> needed) const {
  std::string missing;
  for (const Export which : needed) {
    if (!Has(which)) missing += (missing.empty() ? "" : ", ") + std::string(NameOf(which));
  }
  return missing.empty() ? "" : "The plug-in " + path_ + " lacks " + missing;
}

FileTyping ModelPlugin::Typing() const {
  FileTyping typing;
  if (const auto judge = exports_.judgeFile) {
    typing.judge = [judge](const std::string& path) { return judge(&path); };
  }
  if (const auto type = exports_.getFileTypeStr) {
    typing.typeText = [type](const std::string& path) {
      const char* text = type(&path);
      return std::string(text == nullptr ? "" : text);
    };
  }
  if (const auto order = exports_.fileDlOrder) {
    typing.order = [order](const std::string& name) { return order(&name); };
  }
  return typing;
}

std::string ModelPlugin::String(int id) const {
  const char* text = exports_.resourceString ? exports_.resourceString(id) : nullptr;
  return text == nullptr ? std::string() : std::string(text);
}

FileCheck ModelPlugin::CheckFiles(int mode, const std::vector<std::string>& paths,
                                  uint32_t options) const {
  if (exports_.checkDownloadFiles == nullptr) return {};
  std::vector<char> message(8192, '\0');
  const int answer = exports_.checkDownloadFiles(mode, &paths, options, message.data(),
                                                 static_cast<int>(message.size()));
  FileCheck check;
  check.message = message.data();
  if (answer == 1) {
    check.verdict = FileCheck::Verdict::kUsable;
  } else if (answer == kCheckUnusedFiles) {
    check.verdict = FileCheck::Verdict::kUnusedFiles;
  } else {
    check.verdict = FileCheck::Verdict::kRefused;
    if (check.message.empty()) check.message = "The plug-in refuses the files";
  }
  return check;
}
