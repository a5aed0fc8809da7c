// The configuration tokenizer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/module/zel_parser_basic.h"

namespace {

struct Token {
  E_TOKEN_TYPE type;
  std::string name;
  std::string value;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Token& t) {
  return os << "{" << t.type << ", '" << t.name << "', '" << t.value << "'}";
}

// Every token of `text`, the last one (end or error) included.
std::vector<Token> Tokens(std::string text) {
  CZelParserBasic parser;
  parser.m_pCur = text.data();
  parser.m_pEnd = text.data() + text.size();
  std::vector<Token> out;
  char name[CZelParserBasic::kTokenBufferSize];
  char value[CZelParserBasic::kTokenBufferSize];
  char* p = parser.m_pCur;
  for (int guard = 0; guard < 100; ++guard) {
    E_TOKEN_TYPE type = TOKEN_END;
    p = parser.parserMain(name, value, p, type);
    EXPECT_LE(p, parser.m_pEnd);
    out.push_back({type, name, value});
    if (type == TOKEN_END || type == TOKEN_ERROR) break;
  }
  return out;
}

TEST(TokenParser, SectionsKeysAndCommentsOfAPartitionTable) {
  const auto tokens = Tokens(
      "# table\n"
      "[device]\r\n"
      "Total_size = 0x800\r\n"
      "  [partition]\n"
      "name=boot\n");
  const std::vector<Token> expected = {
      {TOKEN_COMMENT, "", ""},
      {TOKEN_SECTION, "device", ""},
      {TOKEN_KEY_VALUE, "Total_size", " 0x800"},  // leading space kept, CR dropped
      {TOKEN_SECTION, "partition", ""},
      {TOKEN_KEY_VALUE, "name", "boot"},
      {TOKEN_END, "", ""}};
  EXPECT_EQ(tokens, expected);
}

TEST(TokenParser, KeyLineWithoutEqualsRunsIntoTheNextKey) {
  EXPECT_EQ(Tokens("na me\nsize=4"),
            (std::vector<Token>{{TOKEN_KEY_VALUE, "namesize", "4"}, {TOKEN_END, "", ""}}));
}

TEST(TokenParser, TextEndingInsideACommentOrSectionIsAnError) {
  EXPECT_EQ(Tokens("[device]\n# last line").back().type, TOKEN_ERROR);
  EXPECT_EQ(Tokens("[device").back().type, TOKEN_ERROR);
  EXPECT_EQ(Tokens("#").back().type, TOKEN_END);  // nothing after the mark
  EXPECT_EQ(Tokens("[").back().type, TOKEN_END);
  EXPECT_EQ(Tokens("   \n\t").back().type, TOKEN_END);
}

TEST(TokenParser, TokensLongerThanTheBuffersAreErrorsNotOverruns) {
  const std::string longName(300, 'n');
  EXPECT_EQ(Tokens("[" + longName + "]").back().type, TOKEN_ERROR);
  EXPECT_EQ(Tokens(longName + "=1\n").back().type, TOKEN_ERROR);
  EXPECT_EQ(Tokens("k=" + std::string(300, 'v') + "\n").back().type, TOKEN_ERROR);
  // Exactly what fits is still a token.
  const std::string fits(CZelParserBasic::kTokenBufferSize - 1, 'v');
  const auto tokens = Tokens("k=" + fits + "\n");
  EXPECT_EQ(tokens.front().type, TOKEN_KEY_VALUE);
  EXPECT_EQ(tokens.front().value, fits);
}

TEST(TokenParser, NumberHelpers) {
  char* stop = nullptr;
  const char hex[] = "0x1f";
  EXPECT_EQ(CZelParserBasic::Strtoull(hex, &stop, 16), 31u);
  EXPECT_EQ(stop, hex + 4);
  EXPECT_EQ(CZelParserBasic::Strtoull(hex, &stop, 10), 0u);
  EXPECT_EQ(*stop, 'x');
  EXPECT_EQ(CZelParserBasic::Strtoull("0X1F", nullptr, 10), 31u);  // no stop: reads the hex
  EXPECT_EQ(CZelParserBasic::Strtoull("-5", nullptr, 10), ~uint64_t{5} + 1);
  EXPECT_EQ(CZelParserBasic::Strtoull("123abc", &stop, 10), 123u);
  EXPECT_EQ(*stop, 'a');
  EXPECT_EQ(CZelParserBasic::Strtoull("ff", nullptr, 16), 255u);
  EXPECT_EQ(CZelParserBasic::Strtoull("18446744073709551617", nullptr, 10), 1u);  // wraps
  EXPECT_EQ(CZelParserBasic::CharToXDigit('g'), -1);
  EXPECT_EQ(CZelParserBasic::CharToXDigit('F'), 15);
  EXPECT_EQ(CZelParserBasic::CharToXDigit('7'), 7);
}

}  // namespace
