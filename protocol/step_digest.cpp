#include "corvane/protocol/step_digest.h"

#include "corvane/platform/thread_priority.h"

namespace sha256 {

StepDigest::~StepDigest() {
  if (!wanted_) return;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  if (hashing_.joinable()) hashing_.join();
  reporter_.SetStepDigest(Hex(hasher_.Finish()), covered_, jumped_ || covered_ != length_);
}

void StepDigest::Read(uint64_t offset, const uint8_t* data, size_t length) {
  if (!wanted_ || jumped_ || data == nullptr || offset + length <= covered_) return;
  if (offset > covered_) {
    jumped_ = true;
    return;
  }
  const auto skip = static_cast<size_t>(covered_ - offset);  // covered by an earlier read
  const size_t n = length - skip;
  covered_ += n;
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return waitingBytes_ < kAhead; });
  std::vector<uint8_t> block;
  if (!spare_.empty()) {
    block = std::move(spare_.back());
    spare_.pop_back();
  }
  block.assign(data + skip, data + length);
  waitingBytes_ += n;
  waiting_.push_back(std::move(block));
  hold.unlock();
  changed_.notify_all();
  if (!hashing_.joinable()) hashing_ = std::thread([this] { Hash(); });
}

void StepDigest::Hash() {
  platform::RunOnlyWhenIdle();
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return !waiting_.empty() || ending_; });
    if (waiting_.empty()) return;
    std::vector<uint8_t> block = std::move(waiting_.front());
    waiting_.pop_front();
    hold.unlock();
    hasher_.Update(block.data(), block.size());
    hold.lock();
    waitingBytes_ -= block.size();
    spare_.push_back(std::move(block));
    changed_.notify_all();
  }
}

}  // namespace sha256
