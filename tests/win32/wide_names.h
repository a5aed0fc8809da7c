#pragma once

#include <filesystem>
#include <string>

// The programs hand the platform layer UTF-8 names; std::filesystem on Windows reads a plain
// string in the ANSI code page, so the tests convert explicitly.
namespace win32_test {

inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// "file" in Hangul: a name the ANSI code page cannot carry.
inline const std::string kHangul = "\xED\x8E\x8C\xEC\x9D\xBC";

}  // namespace win32_test
