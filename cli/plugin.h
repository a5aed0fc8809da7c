#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvane/platform/message_target.h"
#include "corvane/platform/shared_library.h"
#include "host/file_table.h"
#include "plugin/exports.h"

// The model plug-in, loaded by path and bound by export name exactly as the host binds it.
namespace cli {

class Plugin {
 public:
  // Null with `error` set when the file cannot be loaded.
  static std::unique_ptr<Plugin> Load(const std::string& path, std::string& error);

  const std::string& Path() const { return path_; }

  // The export's address, or null.
  template <typename Fn>
  Fn Find(const char* name) const {
    return library_->Bind<Fn>(name);
  }

  // The three file-typing exports as the file table takes them; incomplete when one is missing.
  FileTyping Typing() const;

 private:
  std::string path_;
  std::unique_ptr<platform::SharedLibrary> library_;
};

// model.so in `directory` (the program's own directory by default).
std::string DefaultPluginPath(const std::string& directory);

}  // namespace cli
