#include "sim/flash_store.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace phonesim {

bool FlashStore::Write(uint64_t offset, const uint8_t* data, size_t length) {
  if (!InRange(offset, length)) return false;
  size_t done = discard_ ? length : 0;
  while (done < length) {
    const uint64_t at = offset + done;
    const uint64_t index = at / kPageSize;
    const size_t inPage = static_cast<size_t>(at % kPageSize);
    const size_t n = std::min(length - done, kPageSize - inPage);
    auto& page = pages_[index];
    if (page.empty()) page.assign(kPageSize, erased_);
    std::memcpy(page.data() + inPage, data + done, n);
    done += n;
  }
  written_ += length;
  Throttle(length);
  return true;
}

bool FlashStore::Erase(uint64_t offset, uint64_t length) {
  if (!InRange(offset, length)) return false;
  uint64_t done = 0;
  while (done < length) {
    const uint64_t at = offset + done;
    const uint64_t index = at / kPageSize;
    const size_t inPage = static_cast<size_t>(at % kPageSize);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length - done, kPageSize - inPage));
    auto it = pages_.find(index);
    if (it != pages_.end()) {
      if (n == kPageSize) {
        pages_.erase(it);
      } else {
        std::memset(it->second.data() + inPage, erased_, n);
      }
    }
    done += n;
  }
  return true;
}

void FlashStore::EraseAll() { pages_.clear(); }

std::vector<uint8_t> FlashStore::Read(uint64_t offset, size_t length) const {
  std::vector<uint8_t> out(length, erased_);
  if (offset >= capacity_) return out;
  size_t done = 0;
  while (done < length && offset + done < capacity_) {
    const uint64_t at = offset + done;
    const uint64_t index = at / kPageSize;
    const size_t inPage = static_cast<size_t>(at % kPageSize);
    const size_t n = std::min(length - done, kPageSize - inPage);
    auto it = pages_.find(index);
    if (it != pages_.end()) std::memcpy(out.data() + done, it->second.data() + inPage, n);
    done += n;
  }
  return out;
}

// A chip that writes at a fixed rate is busy for length / rate after each write; writes queue
// behind each other, so the phone answers only when the data is really stored.
void FlashStore::Throttle(size_t length) {
  if (rate_ == 0) return;
  using namespace std::chrono;
  const auto now = steady_clock::now();
  const auto cost = duration_cast<steady_clock::duration>(
      duration<double>(static_cast<double>(length) / static_cast<double>(rate_)));
  busyUntil_ = std::max(busyUntil_, now) + cost;
  std::this_thread::sleep_until(busyUntil_);
}

}  // namespace phonesim
