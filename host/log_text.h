#pragma once

#include <string>
#include <vector>

#include "host/run_record.h"

// The download window's log as text: the line rule of the view, and the record of the whole run
// that "&Save Log" writes.
class LogText {
 public:
  // The log is emptied, not trimmed, when it would count 500 lines (a text control counts the
  // empty line after the last line break too).
  static constexpr size_t kLineLimit = 500;
  // And it never holds more than this many characters.
  static constexpr size_t kCharacterLimit = 0xA00000;

  // Appends one line to the view and the record; true when the view was emptied first.
  bool Append(const std::string& line);
  // Empties the view. The record keeps the run: the user clears what is on the screen, and a
  // technician asked for the log afterwards still has all of it.
  void Clear();
  // What the view holds.
  const std::vector<std::string>& Lines() const { return lines_; }
  // What "&Save Log" writes: every line of the run (see RunRecord).
  std::vector<std::string> Saved() const { return record_.Lines(); }

 private:
  std::vector<std::string> lines_;
  size_t characters_ = 0;
  RunRecord record_;
};

// The lines as a rich-text document a word processor opens: one paragraph per line, the
// control words' characters escaped, text beyond ASCII as \uN? escapes of its UTF-16 units.
std::string RtfDocument(const std::vector<std::string>& lines);
