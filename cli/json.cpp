#include "cli/json.h"

#include <cmath>
#include <cstdio>

// Written by hand rather than with nlohmann::json::dump, whose error handlers for bytes that are
// not UTF-8 either throw, drop the byte or replace it with U+FFFD: none keeps the byte as its
// own \u00XX escape, which is how a PID block stays recoverable from a line. Its escaping also
// differs from what these lines have always carried (DEL would pass raw, \b and \f get short
// forms).
namespace cli {
namespace {

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when it is not one.
size_t Utf8Length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  if (n == 0 || n > left) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
  if (c == 0xE0 && p[1] < 0xA0) return 0;
  if (c == 0xED && p[1] > 0x9F) return 0;
  if (c == 0xF0 && p[1] < 0x90) return 0;
  if (c == 0xF4 && p[1] > 0x8F) return 0;
  return n;
}

void Escape(unsigned char c, std::string& out) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04x", c);
  out += text;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  for (size_t i = 0; i < size;) {
    const unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      Escape(c, out);
    } else if (c >= 0x80) {
      const size_t n = Utf8Length(p + i, size - i);
      if (n == 0) {
        Escape(c, out);  // a stray byte, kept as the character of that number
      } else {
        out.append(text, i, n);
        i += n;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

void JsonObject::Key(const char* key) {
  if (body_.size() > 1) body_ += ',';
  body_ += JsonString(key);
  body_ += ':';
}

JsonObject& JsonObject::Add(const char* key, const std::string& value) {
  Key(key);
  body_ += JsonString(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, const char* value) {
  return Add(key, std::string(value == nullptr ? "" : value));
}

JsonObject& JsonObject::Add(const char* key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, uint64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, double value) {
  Key(key);
  if (!std::isfinite(value)) {
    body_ += "null";  // JSON has no infinities
    return *this;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%.6g", value);
  body_ += text;
  return *this;
}

JsonObject& JsonObject::Add(const char* key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddRaw(const char* key, const std::string& json) {
  Key(key);
  body_ += json;
  return *this;
}

}  // namespace cli
