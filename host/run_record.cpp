#include "host/run_record.h"

void RunRecord::Add(const std::string& line) {
  if (head_.size() < kHead) return head_.push_back(line);
  tail_.push_back(line);
  if (tail_.size() > kLimit - kHead) {
    tail_.pop_front();
    ++dropped_;
  }
}

std::vector<std::string> RunRecord::Lines() const {
  std::vector<std::string> lines(head_);
  if (dropped_ > 0) {
    lines.push_back("\u2026 " + std::to_string(dropped_) + " lines dropped here \u2026");
  }
  lines.insert(lines.end(), tail_.begin(), tail_.end());
  return lines;
}
