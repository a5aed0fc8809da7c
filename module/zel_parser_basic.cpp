#include "corvane/module/zel_parser_basic.h"

#include <cctype>
#include <cstring>

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

char* CZelParserBasic::parserMain(char* name, char* value, char* from, E_TOKEN_TYPE& type) {
  name[0] = '\0';
  value[0] = '\0';
  size_t nameLength = 0;
  char* p = from;
  for (;;) {
    if (p >= m_pEnd) {
      type = TOKEN_END;
      return p;
    }
    while (p < m_pEnd && IsSpace(*p)) ++p;
    if (p >= m_pEnd) {
      type = TOKEN_END;
      return p;
    }
    if (*p == '#') return Comment(p, type);
    if (*p == '[' || *p == ']') return Section(name, p, type);
    if (*p == '=') {
      name[nameLength] = '\0';
      return KeyValue(value, p, type);
    }
    // Part of a key: white space around or inside it is dropped, and a line without "=" runs
    // on into the next line's key.
    if (nameLength + 1 >= kTokenBufferSize) {
      type = TOKEN_ERROR;
      return m_pEnd;
    }
    name[nameLength++] = *p++;
    name[nameLength] = '\0';
  }
}

char* CZelParserBasic::Comment(char* p, E_TOKEN_TYPE& type) const {
  if (++p >= m_pEnd) {
    type = TOKEN_END;
    return p;
  }
  char* const lineEnd = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(m_pEnd - p)));
  if (lineEnd == nullptr) {
    type = TOKEN_ERROR;
    return m_pEnd;
  }
  type = TOKEN_COMMENT;
  return lineEnd + 1;
}

// The copy stops at the next bracket, at the end of the text and at the end of the buffer; the
// last two are errors.
char* CZelParserBasic::Section(char* name, char* p, E_TOKEN_TYPE& type) const {
  if (++p >= m_pEnd) {
    type = TOKEN_END;
    return p;
  }
  size_t n = 0;
  while (p < m_pEnd && *p != '[' && *p != ']') {
    if (n + 1 >= kTokenBufferSize) {
      name[n] = '\0';
      type = TOKEN_ERROR;
      return m_pEnd;
    }
    name[n++] = *p++;
  }
  name[n] = '\0';
  if (p >= m_pEnd) {
    type = TOKEN_ERROR;
    return m_pEnd;
  }
  type = TOKEN_SECTION;
  return p + 1;
}

// The value keeps every character up to the line end, spaces included, but a final CR.
char* CZelParserBasic::KeyValue(char* value, char* p, E_TOKEN_TYPE& type) const {
  ++p;
  char* const lineEnd = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(m_pEnd - p)));
  char* const stop = lineEnd ? lineEnd : m_pEnd;
  size_t n = static_cast<size_t>(stop - p);
  if (lineEnd && n > 0 && p[n - 1] == '\r') --n;
  if (n + 1 > kTokenBufferSize) {
    type = TOKEN_ERROR;
    return m_pEnd;
  }
  std::memcpy(value, p, n);
  value[n] = '\0';
  type = TOKEN_KEY_VALUE;
  return lineEnd ? lineEnd + 1 : m_pEnd;
}

uint64_t CZelParserBasic::Strtoull(const char* text, char** stop, int base) {
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  int radix = base == 16 ? 16 : 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    if (base == 10 && stop != nullptr) {
      *stop = const_cast<char*>(p + 1);
      return 0;
    }
    p += 2;
    radix = 16;
  }
  uint64_t value = 0;
  for (;; ++p) {
    const int digit = CharToXDigit(static_cast<unsigned char>(*p));
    if (digit < 0 || digit >= radix) break;
    value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
  }
  if (stop != nullptr) *stop = const_cast<char*>(p);
  return negative ? ~value + 1 : value;
}

int CZelParserBasic::CharToXDigit(int ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}
