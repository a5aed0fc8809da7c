#pragma once

#include <windows.h>

#include <climits>
#include <string>

// The programs carry names as UTF-8 (users name files in Hangul); Windows takes them only as
// UTF-16 through its W calls, and the A calls would squeeze them through the ANSI code page.
namespace platform {

// `utf8` as UTF-16; empty when it is not valid UTF-8 (or too long), so that a mangled name
// fails to open rather than opening another file.
inline std::wstring Utf16(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int length = static_cast<int>(utf8.size());
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), needed);
  return wide;
}

// `wide` (`count` characters) as UTF-8.
inline std::string Utf8(const wchar_t* wide, size_t count) {
  if (wide == nullptr || count == 0 || count > INT_MAX) return {};
  const int length = static_cast<int>(count);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), needed, nullptr, nullptr);
  return text;
}

inline std::string Utf8(const std::wstring& wide) { return Utf8(wide.data(), wide.size()); }

// `path` made absolute, with backslashes and without "." or ".." parts; empty when it cannot be.
inline std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = path.empty() ? 0 : GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) return {};
  full.resize(got);
  return full;
}

// The system's words for error `code`, in UTF-8, without the line break it ends them with.
inline std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = Utf8(text, length);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

}  // namespace platform
