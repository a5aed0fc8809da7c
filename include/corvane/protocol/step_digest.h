#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

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
//
// The reading loop only copies what it read: a thread of the digest's own hashes it, so that the
// phone, which waits for the loop's next block, never waits for the hash (hashing 512 KiB takes
// longer than reading it from the page cache). At most kAhead bytes wait to be hashed.
class CORVANE_API StepDigest {
 public:
  static constexpr size_t kAhead = size_t{4} << 20;

  // `fileLength`: the file's length when the step opened it.
  StepDigest(Reporter& reporter, uint64_t fileLength) : reporter_(reporter), length_(fileLength) {}
  ~StepDigest();
  StepDigest(const StepDigest&) = delete;
  StepDigest& operator=(const StepDigest&) = delete;

  // The file gave `length` bytes at `offset`.
  void Read(uint64_t offset, const uint8_t* data, size_t length);
  // The bytes from the file's start that the digest takes in (hashed or waiting to be).
  uint64_t Covered() const { return covered_; }

 private:
  void Hash();  // the hashing thread

  Reporter& reporter_;
  const uint64_t length_;
  const bool wanted_ = platform::StepDigestsWanted();  // the host keeps records
  uint64_t covered_ = 0;
  bool jumped_ = false;  // a read skipped bytes: nothing after them is covered

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> waiting_;  // copied blocks, oldest first
  std::vector<std::vector<uint8_t>> spare_;   // hashed blocks' buffers, for the next copies
  size_t waitingBytes_ = 0;
  bool ending_ = false;
  Hasher hasher_;        // the hashing thread's
  std::thread hashing_;  // started by the first read
};

}  // namespace sha256
