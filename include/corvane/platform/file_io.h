#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "corvane/platform/export.h"

// Files named as the user names them (UTF-8) and positioned in 64 bits: a factory image may pass
// 2 GiB, where the C library's long offsets end on systems whose long has 32 bits.
namespace platform {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// `path` opened with the C library's `mode` ("rb"); empty when it cannot be, or is null.
CORVANE_API File OpenFile(const char* path, const char* mode);
// Moves to `offset` bytes from the start; false when the file cannot.
CORVANE_API bool SeekTo(std::FILE* f, uint64_t offset);
// The file's length, leaving the position at its start; nullopt when it cannot be told.
CORVANE_API std::optional<uint64_t> LengthOf(std::FILE* f);

}  // namespace platform
