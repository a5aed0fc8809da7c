#include "host/model_plugin.h"

std::unique_ptr<ModelPlugin> ModelPlugin::Load(const std::string& path, std::string& error) {
  auto library = platform::SharedLibrary::Load(path, &error);
  if (!library) return nullptr;
  auto plugin = std::unique_ptr<ModelPlugin>(new ModelPlugin());
  plugin->path_ = path;
  plugin->library_ = std::move(library);
  return plugin;
}

FileTyping ModelPlugin::Typing() const {
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

std::string ModelPlugin::String(int id) const {
  const auto lookUp = Find<ResourceStringFn>("ResourceString");
  const char* text = lookUp ? lookUp(id) : nullptr;
  return text == nullptr ? std::string() : std::string(text);
}
