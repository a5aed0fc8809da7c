#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/protocol/step_digest.h"

// Reads a file's blocks, in order, one block ahead of the one being sent: while the phone writes
// block N, a thread of the reader's own hands block N to the step's digest and reads block N+1
// from the disk, so that the phone's answer is followed at once by the next request instead of
// by a read and a copy. The thread runs only when a core is idle: on the machine it never takes
// the processor from a phone's worker or the window. The digest takes in only the blocks that were
// fetched, as a loop that reads each block just before sending it would. Two buffers take turns;
// the block Fetch returned stays valid until the next Fetch.
class CORVANE_API BlockReadAhead {
 public:
  // `file` is positioned at the stream's start, which is `base` bytes into the file; the stream
  // is `total` bytes long and goes in blocks of `blockSize`.
  BlockReadAhead(std::FILE* file, uint64_t base, uint64_t total, uint32_t blockSize,
                 sha256::StepDigest& digest);
  ~BlockReadAhead();
  BlockReadAhead(const BlockReadAhead&) = delete;
  BlockReadAhead& operator=(const BlockReadAhead&) = delete;

  // The `length` bytes at `offset` of the stream followed by zeros up to the block size; null
  // when they cannot be read or are not the block after the last one fetched (the file is read
  // in order only).
  const uint8_t* Fetch(uint64_t offset, uint32_t length);

 private:
  struct Block {
    std::vector<uint8_t> data;
    uint64_t offset = 0;
    uint32_t length = 0;
    size_t got = 0;  // bytes the file gave
  };

  void Read(Block& block, uint64_t offset, uint32_t length);
  void Digest(const Block& block);
  void Hand(bool readAhead);
  void Do(bool readAhead);
  void Work();

  std::FILE* const file_;
  const uint64_t base_;
  const uint64_t total_;
  const uint32_t blockSize_;
  sha256::StepDigest& digest_;
  uint64_t expected_ = 0;  // the offset the next Fetch must ask for
  Block current_;          // the caller's (a job only reads it, for the digest)
  Block ahead_;            // the job's while there is one

  // A job digests current_ and, with readAhead_, reads ahead_. Handed out, it is the worker's to
  // take; a job the worker has not taken by the next Fetch (an idle-priority thread on a busy
  // machine) is taken back and done there, so the stream is never slower than reading inline.
  enum class Job { kNone, kHanded, kTaken };

  std::mutex lock_;
  std::condition_variable changed_;
  Job job_ = Job::kNone;
  bool readAhead_ = false;
  bool ending_ = false;
  std::thread worker_;  // started by the first job
};
