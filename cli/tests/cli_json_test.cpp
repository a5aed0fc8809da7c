// JSON lines: every text of the plug-in comes out as valid JSON, whatever bytes it holds.

#include <gtest/gtest.h>

#include <string>

#include "cli/json.h"
#include "cli_harness.h"

namespace {

std::string RoundTrip(const std::string& text) {
  const auto v = cli_testing::ParseJson(cli::JsonObject().Add("t", text).Text());
  EXPECT_TRUE(v.has_value()) << cli::JsonString(text);
  return v ? v->at("t").get<std::string>() : std::string("<not JSON>");
}

TEST(CliJson, QuotesBackslashesAndControlCharactersAreEscaped) {
  EXPECT_EQ(cli::JsonString("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(cli::JsonString("line\r\n\ttab"), R"("line\r\n\ttab")");
  EXPECT_EQ(cli::JsonString(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
  EXPECT_EQ(RoundTrip("Baudrate Change: 115200bps ===> 3000000bps"),
            "Baudrate Change: 115200bps ===> 3000000bps");
}

TEST(CliJson, Utf8PassesAndStrayBytesBecomeEscapes) {
  EXPECT_EQ(cli::JsonString("파일 ü"), "\"파일 ü\"");
  // A PID block is bytes, not text: each byte that is not UTF-8 is written as its own escape.
  EXPECT_EQ(cli::JsonString(std::string("\xff\xc3", 2)), R"("\u00ff\u00c3")");
  EXPECT_EQ(cli::JsonString(std::string("\xed\xa0\x80", 3)),
            R"("\u00ed\u00a0\u0080")");                                         // surrogate
  EXPECT_EQ(cli::JsonString(std::string("\xe2\x82", 2)), R"("\u00e2\u0082")");  // cut short
  EXPECT_EQ(RoundTrip(std::string("A\xff", 2)), "A\xc3\xbf");
  EXPECT_EQ(cli::JsonString(std::string("a\0b", 3)), R"("a\u0000b")");
}

TEST(CliJson, ObjectsKeepTheirFieldsAndTypes) {
  const std::string text = cli::JsonObject()
                               .Add("event", "progress")
                               .Add("code", int64_t{500})
                               .Add("bytes", uint64_t{1} << 40)
                               .Add("rate", 12.5)
                               .Add("ok", true)
                               .Add("none", 1.0 / 0.0)
                               .AddRaw("list", "[1,2]")
                               .Text();
  const auto v = cli_testing::ParseJson(text);
  ASSERT_TRUE(v.has_value()) << text;
  EXPECT_EQ(v->at("event"), "progress");
  EXPECT_EQ(v->at("code"), 500);
  EXPECT_EQ(v->at("bytes"), 1099511627776.0);
  EXPECT_EQ(v->at("rate"), 12.5);
  EXPECT_TRUE(v->at("ok").get<bool>());
  EXPECT_TRUE(v->at("none").is_null());
  EXPECT_EQ(v->at("list").size(), 2u);
}

}  // namespace
