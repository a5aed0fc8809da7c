#include "cli/plugin.h"

#include "host/settings.h"

namespace cli {

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, std::string& error) {
  auto library = platform::SharedLibrary::Load(path, &error);
  if (!library) return nullptr;
  auto plugin = std::unique_ptr<Plugin>(new Plugin());
  plugin->path_ = path;
  plugin->library_ = std::move(library);
  return plugin;
}

FileTyping Plugin::Typing() const {
  FileTyping typing;
  if (auto judge = Find<JudgeFileFn>("JudgeFile")) {
    typing.judge = [judge](const std::string& path) { return judge(&path); };
  }
  if (auto type = Find<GetFileTypeStrFn>("GetFileTypeStr")) {
    typing.typeText = [type](const std::string& path) {
      const char* text = type(&path);
      return std::string(text == nullptr ? "" : text);
    };
  }
  if (auto order = Find<FileDLOrderFn>("FileDLOrder")) {
    typing.order = [order](const std::string& name) { return order(&name); };
  }
  return typing;
}

std::string DefaultPluginPath(const std::string& directory) {
  return settings::DefaultPluginPath(directory);
}

}  // namespace cli
