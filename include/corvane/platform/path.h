#pragma once

#include <filesystem>
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

// The file system's path for a name the user gave in UTF-8. A narrow name would reach Windows
// through the C library's code page, byte for byte, and lose every Hangul file name; the
// UTF-8 string type is converted as UTF-8 on every system.
inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path's name in UTF-8, as the user and every message see it.
inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace platform
