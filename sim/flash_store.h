#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace phonesim {

// A phone's flash memory: sparse pages, erased bytes read as `erased`, and an optional write
// rate so that a benchmark can model a real chip (a write then takes bytes / rate).
class FlashStore {
 public:
  static constexpr size_t kPageSize = size_t{64} * 1024;

  explicit FlashStore(uint64_t capacity, uint8_t erased = 0xFF)
      : capacity_(capacity), erased_(erased) {}

  uint64_t Capacity() const { return capacity_; }
  uint8_t ErasedValue() const { return erased_; }

  // Bytes per second; 0 = unlimited.
  void SetRate(uint64_t bytesPerSecond) { rate_ = bytesPerSecond; }
  // Counts and times writes without keeping their bytes: a benchmark of large partitions
  // measures the host, not the simulated chip's memory.
  void SetDiscard(bool discard) { discard_ = discard; }

  // False (and nothing written) when the range leaves the store.
  bool Write(uint64_t offset, const uint8_t* data, size_t length);
  bool Erase(uint64_t offset, uint64_t length);
  void EraseAll();

  std::vector<uint8_t> Read(uint64_t offset, size_t length) const;
  // Bytes ever written (a measure of the work done).
  uint64_t BytesWritten() const { return written_; }

 private:
  bool InRange(uint64_t offset, uint64_t length) const {
    return offset <= capacity_ && length <= capacity_ - offset;
  }
  void Throttle(size_t length);

  uint64_t capacity_;
  uint8_t erased_;
  uint64_t rate_ = 0;
  bool discard_ = false;
  uint64_t written_ = 0;
  std::map<uint64_t, std::vector<uint8_t>> pages_;  // page index -> page
  std::chrono::steady_clock::time_point busyUntil_{};
};

}  // namespace phonesim
