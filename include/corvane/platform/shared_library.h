#pragma once

#include <memory>
#include <string>

#include "corvane/platform/export.h"

// A shared library loaded at run time, whose exports are bound by name.
namespace platform {

class CORVANE_API SharedLibrary {
 public:
  // Null with `error` set when the file cannot be loaded.
  static std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error);

  virtual ~SharedLibrary();
  // The address of an exported symbol, null when there is none.
  virtual void* Symbol(const char* name) const = 0;

  template <typename Fn>
  Fn Bind(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }
};

}  // namespace platform
