#include "cli/throughput.h"

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

constexpr const char* kWritingStart = "  writing start";

std::optional<uint64_t> AnnouncedPartition(const std::string& text) {
  unsigned long long kbytes = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "Partition size is %llu KBytes%c", &kbytes, &tail) == 1) {
    return kbytes * 1024;
  }
  return std::nullopt;
}

}  // namespace

Throughput::Throughput(std::map<std::string, uint64_t> fileSizes, uint64_t totalBytes)
    : sizes_(std::move(fileSizes)), total_(totalBytes) {}

void Throughput::BeginStep(uint64_t bytes, uint64_t nowMs) {
  if (endMs_) return;
  finished_ += stepBytes_;
  stepBytes_ = bytes;
  stepPercent_ = 0;
  if (!firstStepMs_) firstStepMs_ = nowMs;
}

void Throughput::OnText(const std::string& text, uint64_t nowMs) {
  const size_t suffix = std::char_traits<char>::length(kWritingStart);
  if (text.size() > suffix && text.compare(text.size() - suffix, suffix, kWritingStart) == 0) {
    const auto it = sizes_.find(text.substr(0, text.size() - suffix));
    if (it != sizes_.end()) BeginStep(it->second, nowMs);
    return;
  }
  if (const auto bytes = AnnouncedPartition(text)) BeginStep(*bytes, nowMs);
}

void Throughput::OnCode(intptr_t code, uint64_t nowMs) {
  if (endMs_) return;
  if (code == 400) {
    finished_ = std::max(total_, finished_ + stepBytes_);
    stepBytes_ = 0;
    endMs_ = nowMs;
  } else if (code == 200) {
    endMs_ = nowMs;
  } else if (code >= 0 && code <= 100) {
    // Later work of the same run (the modem after the last partition) starts from 0 again:
    // bytes once counted stay counted.
    stepPercent_ = std::max(stepPercent_, static_cast<int>(code));
  }
}

uint64_t Throughput::Done() const {
  return finished_ + stepBytes_ * static_cast<uint64_t>(stepPercent_) / 100;
}

Throughput::Estimate Throughput::At(uint64_t nowMs) const {
  Estimate e;
  e.doneBytes = Done();
  if (!firstStepMs_) return e;
  const uint64_t until = endMs_ ? *endMs_ : nowMs;
  const double seconds = static_cast<double>(until - std::min(until, *firstStepMs_)) / 1000.0;
  if (seconds <= 0 || e.doneBytes == 0) return e;
  e.bytesPerSecond = static_cast<double>(e.doneBytes) / seconds;
  const uint64_t left = total_ > e.doneBytes ? total_ - e.doneBytes : 0;
  e.secondsLeft = endMs_ ? 0.0 : static_cast<double>(left) / e.bytesPerSecond;
  return e;
}

}  // namespace cli
