#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/platform/export.h"

enum E_TOKEN_TYPE : int32_t {
  TOKEN_SECTION = 1,    // "[name]"
  TOKEN_KEY_VALUE = 2,  // "key = value"
  TOKEN_COMMENT = 3,    // "# ..." to the end of the line
  TOKEN_END = 4,        // the text is exhausted
  TOKEN_ERROR = 5,      // the text ended inside a comment or section, or a token did not fit
};

// A small tokenizer for configuration text: sections in square brackets, "key=value" lines and
// "#" comment lines, read from `m_pCur` up to `m_pEnd` one token per call. The caller owns the
// text and the two token buffers.
class CORVANE_API CZelParserBasic {
 public:
  // The name and value buffers handed to parserMain hold this many bytes; a token that does not
  // fit (with its terminating zero) is an error, never written past the buffer.
  static constexpr size_t kTokenBufferSize = 256;

  CZelParserBasic() = default;
  virtual ~CZelParserBasic() = default;

  // Reads one token starting at `from`; returns where the next call starts.
  char* parserMain(char* name, char* value, char* from, E_TOKEN_TYPE& type);

  // Unsigned 64-bit conversion (wrapping) with an optional "-" and "0x" prefix.
  static uint64_t Strtoull(const char* text, char** stop, int base);
  static int CharToXDigit(int ch);

  char* m_pCur = nullptr;  // next character to read
  char* m_pEnd = nullptr;  // just past the last character

 private:
  char* Comment(char* p, E_TOKEN_TYPE& type) const;
  char* Section(char* name, char* p, E_TOKEN_TYPE& type) const;
  char* KeyValue(char* value, char* p, E_TOKEN_TYPE& type) const;
};
