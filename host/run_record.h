#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Every line of one run, for the saved log: the window's view is emptied at 500 lines, the
// record is not. A run that says more than kLimit lines keeps its first kHead lines and its
// latest ones, and says how many it dropped between them: the first lines name the files, the
// phone and the options the run started with, the last ones how it ended or where it stopped,
// and what lies between is mostly one block after another.
class RunRecord {
 public:
  static constexpr size_t kLimit = 100000;
  static constexpr size_t kHead = 1000;

  void Add(const std::string& line);
  // The lines as they came, with "… N lines dropped here …" in place of any dropped.
  std::vector<std::string> Lines() const;
  uint64_t Dropped() const { return dropped_; }

 private:
  std::vector<std::string> head_;
  std::deque<std::string> tail_;
  uint64_t dropped_ = 0;
};
