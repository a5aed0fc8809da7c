#include <sys/types.h>

#include <limits>

#include "corvane/platform/file_io.h"

namespace platform {

static_assert(sizeof(off_t) == 8, "files are positioned in 64 bits");

File OpenFile(const char* path, const char* mode) {
  return File(path != nullptr ? std::fopen(path, mode) : nullptr);
}

bool SeekTo(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::optional<uint64_t> LengthOf(std::FILE* f) {
  if (::fseeko(f, 0, SEEK_END) != 0) return std::nullopt;
  const off_t end = ::ftello(f);
  if (end < 0 || ::fseeko(f, 0, SEEK_SET) != 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace platform
