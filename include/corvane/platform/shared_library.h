#pragma once

#include <memory>
#include <string>

#include "corvane/platform/export.h"

// How this platform's shared libraries end ("model" CORVANE_LIBRARY_SUFFIX): a macro, so that
// help texts can join it as a literal.
#if defined(_WIN32)
#define CORVANE_LIBRARY_SUFFIX ".dll"
#else
#define CORVANE_LIBRARY_SUFFIX ".so"
#endif

// A shared library loaded at run time, whose exports are bound by name.
namespace platform {

inline constexpr const char* kLibrarySuffix = CORVANE_LIBRARY_SUFFIX;

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
