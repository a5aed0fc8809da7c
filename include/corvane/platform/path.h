#pragma once

#include <string>

// File paths as the user gives them.
namespace platform {

// The characters that separate directories on this platform.
#if defined(_WIN32)
inline constexpr const char* kPathSeparators = "/\\";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// What follows the last separator: the bare file name.
inline std::string BareName(const std::string& path) {
  const size_t cut = path.find_last_of(kPathSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace platform
