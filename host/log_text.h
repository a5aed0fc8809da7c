#pragma once

#include <string>
#include <vector>

// The download window's log as text: the line rule and the saved "Log.rtf".
class LogText {
 public:
  // The log is emptied, not trimmed, when it would count 500 lines (a text control counts the
  // empty line after the last line break too).
  static constexpr size_t kLineLimit = 500;
  // And it never holds more than this many characters.
  static constexpr size_t kCharacterLimit = 0xA00000;

  // Appends one line; true when the log was emptied first.
  bool Append(const std::string& line);
  void Clear();
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  size_t characters_ = 0;
};

// The lines as a rich-text document a word processor opens: one paragraph per line, the
// control words' characters escaped, text beyond ASCII as \uN? escapes of its UTF-16 units.
std::string RtfDocument(const std::vector<std::string>& lines);
