#include "flash/block_read_ahead.h"

#include <algorithm>

#include "corvane/platform/thread_priority.h"

BlockReadAhead::BlockReadAhead(std::FILE* file, uint64_t base, uint64_t total, uint32_t blockSize,
                               sha256::StepDigest& digest)
    : file_(file), base_(base), total_(total), blockSize_(blockSize), digest_(digest) {
  current_.data.resize(blockSize);
  ahead_.data.resize(blockSize);
}

BlockReadAhead::~BlockReadAhead() {
  {
    const std::lock_guard<std::mutex> guard(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

const uint8_t* BlockReadAhead::Fetch(uint64_t offset, uint32_t length) {
  if (offset != expected_ || length > blockSize_) return nullptr;
  bool takenBack = false;
  {
    std::unique_lock<std::mutex> guard(lock_);
    if (job_ == Job::kHanded) {
      job_ = Job::kNone;
      takenBack = true;
    }
    changed_.wait(guard, [this] { return job_ == Job::kNone; });
  }
  if (takenBack) Do(readAhead_);
  if (offset > 0 && (ahead_.offset != offset || ahead_.length != length)) return nullptr;
  if (offset > 0) {
    std::swap(current_, ahead_);
  } else {
    Read(current_, offset, length);
  }
  if (current_.got != length) {
    Digest(current_);  // what the file still gave before it failed
    return nullptr;
  }
  expected_ = offset + length;
  Hand(expected_ < total_);
  return current_.data.data();
}

void BlockReadAhead::Read(Block& block, uint64_t offset, uint32_t length) {
  if (length < blockSize_) std::fill(block.data.begin() + length, block.data.end(), 0);
  block.offset = offset;
  block.length = length;
  block.got = std::fread(block.data.data(), 1, length, file_);
}

void BlockReadAhead::Digest(const Block& block) {
  digest_.Read(base_ + block.offset, block.data.data(), block.got);
}

void BlockReadAhead::Hand(bool readAhead) {
  {
    const std::lock_guard<std::mutex> guard(lock_);
    if (readAhead) {
      ahead_.offset = expected_;
      ahead_.length = static_cast<uint32_t>(std::min<uint64_t>(blockSize_, total_ - expected_));
    }
    readAhead_ = readAhead;
    job_ = Job::kHanded;
  }
  if (worker_.joinable()) {
    changed_.notify_all();
  } else {
    worker_ = std::thread([this] { Work(); });
  }
}

void BlockReadAhead::Do(bool readAhead) {
  Digest(current_);
  if (readAhead) Read(ahead_, ahead_.offset, ahead_.length);
}

void BlockReadAhead::Work() {
  platform::RunOnlyWhenIdle();
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return job_ == Job::kHanded || ending_; });
    if (job_ != Job::kHanded) return;
    job_ = Job::kTaken;
    const bool readAhead = readAhead_;
    guard.unlock();
    Do(readAhead);
    guard.lock();
    job_ = Job::kNone;
    changed_.notify_all();
  }
}
