#include <stdio.h>

#include <cstdint>
#include <string>

#include "corvane/platform/file_io.h"
#include "platform/utf16_win32.h"

namespace platform {

File OpenFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return File();
  const std::wstring name = Utf16(path);
  const std::wstring wideMode = Utf16(mode);
  if (name.empty() || wideMode.empty()) return File();
  return File(::_wfopen(name.c_str(), wideMode.c_str()));
}

bool SeekTo(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return ::_fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::optional<uint64_t> LengthOf(std::FILE* f) {
  if (::_fseeki64(f, 0, SEEK_END) != 0) return std::nullopt;
  const __int64 end = ::_ftelli64(f);
  if (end < 0 || ::_fseeki64(f, 0, SEEK_SET) != 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace platform
