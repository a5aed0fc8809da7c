// The configuration tokenizer on arbitrary text: every call must stay inside the text and the
// token buffers, and the walk must end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvane/module/zel_parser_basic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);  // exactly the input: overreads hit the sanitizer
  CZelParserBasic parser;
  parser.m_pCur = text.data();
  parser.m_pEnd = text.data() + text.size();
  char name[CZelParserBasic::kTokenBufferSize];
  char value[CZelParserBasic::kTokenBufferSize];
  char* p = parser.m_pCur;
  // Every token consumes at least one character, so the walk ends within size + 1 calls.
  for (size_t calls = 0; calls <= size + 1; ++calls) {
    E_TOKEN_TYPE type = TOKEN_END;
    char* next = parser.parserMain(name, value, p, type);
    if (next < p || next > parser.m_pEnd) std::abort();
    if (std::strlen(name) >= sizeof name || std::strlen(value) >= sizeof value) std::abort();
    if (type == TOKEN_END || type == TOKEN_ERROR) return 0;
    if (next == p) std::abort();  // no progress: the walk would never end
    p = next;
  }
  std::abort();
}
