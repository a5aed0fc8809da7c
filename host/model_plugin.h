#pragma once

#include <memory>
#include <string>

#include "corvane/platform/shared_library.h"
#include "host/file_table.h"
#include "plugin/exports.h"

// The model plug-in, loaded by path and bound by export name: how every front end reaches it.
class ModelPlugin {
 public:
  // Null with `error` set when the file cannot be loaded.
  static std::unique_ptr<ModelPlugin> Load(const std::string& path, std::string& error);

  const std::string& Path() const { return path_; }

  // The export's address, or null.
  template <typename Fn>
  Fn Find(const char* name) const {
    return library_->Bind<Fn>(name);
  }

  // The three file-typing exports as the file table takes them; incomplete when one is missing.
  FileTyping Typing() const;

  // The plug-in's string `id` (1 the model name, 2 its version); "" when it has none.
  std::string String(int id) const;

 private:
  std::string path_;
  std::unique_ptr<platform::SharedLibrary> library_;
};
