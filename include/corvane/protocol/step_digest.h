#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/platform/export.h"
#include "corvane/platform/reporter.h"
#include "corvane/protocol/sha256.h"

namespace sha256 {

// The SHA-256 of the file that an open step reads from disk, taken in the step's own reading loop
// as its blocks go by (a second read could meet a file that has changed since) and handed to the
// step's reporter when it goes out of scope, every early return included, so that the step's end
// notice carries it. The digest covers the file from its start: bytes read in order extend it, a
// read of bytes already covered changes nothing, and a read that jumps ahead ends it there. It is
// partial unless it covers the whole file.
class CORVANE_API StepDigest {
 public:
  // `fileLength`: the file's length when the step opened it.
  StepDigest(Reporter& reporter, uint64_t fileLength) : reporter_(reporter), length_(fileLength) {}
  ~StepDigest();
  StepDigest(const StepDigest&) = delete;
  StepDigest& operator=(const StepDigest&) = delete;

  // The file gave `length` bytes at `offset`.
  void Read(uint64_t offset, const uint8_t* data, size_t length);
  uint64_t Covered() const { return hasher_.Length(); }

 private:
  Reporter& reporter_;
  Hasher hasher_;
  uint64_t length_;
  bool jumped_ = false;  // a read skipped bytes: nothing after them is covered
};

}  // namespace sha256
