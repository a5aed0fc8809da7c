#include "host/log_text.h"

#include <cstdint>

namespace {

// The next code point of UTF-8 `text` at `i` (advancing it); a stray byte stands for itself in
// Latin-1, so nothing a phone sent is lost.
uint32_t NextCodePoint(const std::string& text, size_t& i) {
  const auto at = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = at(i);
  const size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + extra >= text.size()) return at(i++);
  uint32_t cp = lead & (0x3Fu >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return at(i++);
    cp = (cp << 6) | (at(i + k) & 0x3Fu);
  }
  i += extra + 1;
  return cp;
}

void AppendUnit(std::string& out, uint32_t unit) {
  out += "\\u" + std::to_string(static_cast<int16_t>(static_cast<uint16_t>(unit))) + "?";
}

void AppendEscaped(std::string& out, const std::string& line) {
  for (size_t i = 0; i < line.size();) {
    const uint32_t cp = NextCodePoint(line, i);
    if (cp == '\\' || cp == '{' || cp == '}') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\t') {
      out += "\\tab ";
    } else if (cp < 0x20) {
      continue;  // other control characters have no place in a paragraph
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x10000) {
      AppendUnit(out, cp);
    } else {
      const uint32_t v = cp - 0x10000;
      AppendUnit(out, 0xD800 + (v >> 10));
      AppendUnit(out, 0xDC00 + (v & 0x3FF));
    }
  }
}

}  // namespace

bool LogText::Append(const std::string& line) {
  const bool emptied =
      lines_.size() + 1 >= kLineLimit || characters_ + line.size() + 2 > kCharacterLimit;
  if (emptied) Clear();
  lines_.push_back(line.substr(0, kCharacterLimit - 2));
  characters_ += lines_.back().size() + 2;
  record_.Add(lines_.back());
  return emptied;
}

void LogText::Clear() {
  lines_.clear();
  characters_ = 0;
}

std::string RtfDocument(const std::vector<std::string>& lines) {
  std::string out =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\\uc1\\f0\\fs18\n";
  for (const std::string& line : lines) {
    AppendEscaped(out, line);
    out += "\\par\n";
  }
  return out + "}\n";
}
