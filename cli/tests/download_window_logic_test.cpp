// What a download window hands the plug-in and shows beside the run, and its log's rules.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "host/log_text.h"
#include "host/normal_page.h"
#include "support/temp_dir.h"

namespace {

TEST(RunRequestTest, TheListNamesTwoFilesToALineAndARomCopyItsTwoPaths) {
  RunRequest normal;
  normal.names = {"a.img", "c.img", "e.img"};
  EXPECT_EQ(normal.ListText(), "==  download lists  ==\n1. a.img    2. c.img\n3. e.img");
  RunRequest romCopy;
  romCopy.mode = RunRequest::Mode::kRomCopy;
  romCopy.cpPath = "/x/cp.fls";
  romCopy.apPath = "/x/ap.bin";
  EXPECT_EQ(romCopy.ListText(), "1. /x/cp.fls\n2. /x/ap.bin");
  EXPECT_EQ(romCopy.Files(), (std::vector<std::string>{"/x/cp.fls", "/x/ap.bin"}));
}

TEST(LogTextTest, TheFiveHundredthLineEmptiesTheLogFirst) {
  LogText log;
  for (int i = 0; i < 498; ++i) EXPECT_FALSE(log.Append("line"));
  EXPECT_FALSE(log.Append("499"));
  EXPECT_TRUE(log.Append("500"));
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"500"});
}

// The record beside the view: the lines the view dropped are kept; past its limit it keeps the
// first lines and the latest, and says how many it dropped where it dropped them.
TEST(LogTextTest, TheSavedLogKeepsTheRunAndSaysWhereAndHowManyLinesWereDropped) {
  LogText log;
  const size_t total = RunRecord::kLimit + 7;
  for (size_t i = 1; i <= total; ++i) log.Append(std::to_string(i));
  log.Clear();
  const std::vector<std::string> saved = log.Saved();
  ASSERT_EQ(saved.size(), RunRecord::kLimit + 1);
  EXPECT_EQ(saved.front(), "1");
  EXPECT_EQ(saved[RunRecord::kHead - 1], std::to_string(RunRecord::kHead));
  EXPECT_EQ(saved[RunRecord::kHead], "\u2026 7 lines dropped here \u2026");
  EXPECT_EQ(saved[RunRecord::kHead + 1], std::to_string(RunRecord::kHead + 8));
  EXPECT_EQ(saved.back(), std::to_string(total));
}

TEST(LogTextTest, RtfEscapesItsOwnCharactersAndKeepsEveryOtherOne) {
  EXPECT_EQ(RtfDocument({"a{b}\\c", "파일 \xF0\x9F\x93\xB1", "bad \xFF byte"}),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\\uc1\\f0"
            "\\fs18\n"
            "a\\{b\\}\\\\c\\par\n"
            "\\u-11508?\\u-14468? \\u-10179?\\u-8975?\\par\n"
            "bad \\u255? byte\\par\n}\n");
}

}  // namespace
