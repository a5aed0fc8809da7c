#include "json_reader.h"

#include <cstdlib>
#include <sstream>

namespace testing_json {
namespace {

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  std::optional<Value> Document() {
    auto v = Any();
    Space();
    if (!v || i_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool Eat(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(const char* w) {
    const std::string word(w);
    if (s_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    return true;
  }

  std::optional<Value> Any() {
    Space();
    if (i_ >= s_.size()) return std::nullopt;
    Value v;
    const char c = s_[i_];
    if (c == '{') return Object();
    if (c == '[') return Array();
    if (c == '"') {
      v.kind = Value::Kind::kString;
      if (!String(v.string)) return std::nullopt;
      return v;
    }
    if (Word("true")) return Bool(true);
    if (Word("false")) return Bool(false);
    if (Word("null")) return v;
    return Number();
  }

  static Value Bool(bool b) {
    Value v;
    v.kind = Value::Kind::kBool;
    v.boolean = b;
    return v;
  }

  std::optional<Value> Number() {
    const char* start = s_.c_str() + i_;
    char* end = nullptr;
    const double d = std::strtod(start, &end);
    if (end == start || *start == '+' || *start == '.') return std::nullopt;
    i_ += static_cast<size_t>(end - start);
    Value v;
    v.kind = Value::Kind::kNumber;
    v.number = d;
    return v;
  }

  bool Hex4(unsigned& code) {
    if (i_ + 4 > s_.size()) return false;
    code = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      code <<= 4;
      if (h >= '0' && h <= '9')
        code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        code |= static_cast<unsigned>(h - 'A' + 10);
      else
        return false;
    }
    return true;
  }

  static void Utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool String(std::string& out) {
    ++i_;  // the opening quote
    while (i_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;  // control characters must be escaped
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      unsigned code = 0;
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          if (!Hex4(code)) return false;
          Utf8(code, out);
          break;
        default:
          return false;
      }
    }
    return false;
  }

  std::optional<Value> Array() {
    ++i_;
    Value v;
    v.kind = Value::Kind::kArray;
    if (Eat(']')) return v;
    do {
      auto item = Any();
      if (!item) return std::nullopt;
      v.array.push_back(std::move(*item));
    } while (Eat(','));
    if (!Eat(']')) return std::nullopt;
    return v;
  }

  std::optional<Value> Object() {
    ++i_;
    Value v;
    v.kind = Value::Kind::kObject;
    if (Eat('}')) return v;
    do {
      Space();
      std::string key;
      if (i_ >= s_.size() || s_[i_] != '"' || !String(key) || !Eat(':')) return std::nullopt;
      auto item = Any();
      if (!item || v.object.count(key)) return std::nullopt;
      v.object.emplace(std::move(key), std::move(*item));
    } while (Eat(','));
    if (!Eat('}')) return std::nullopt;
    return v;
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

std::optional<Value> Parse(const std::string& text) { return Reader(text).Document(); }

std::optional<std::vector<Value>> ParseLines(const std::string& text, std::string* badLine) {
  std::vector<Value> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    auto v = Parse(line);
    if (!v) {
      if (badLine) *badLine = line;
      return std::nullopt;
    }
    out.push_back(std::move(*v));
  }
  return out;
}

}  // namespace testing_json
