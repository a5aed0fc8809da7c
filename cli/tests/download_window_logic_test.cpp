// What a download window hands the plug-in and shows beside the run, and its log's rules.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "host/download_arguments.h"
#include "host/log_text.h"
#include "support/temp_dir.h"

namespace {

TEST(DownloadArgumentsTest, OnlyCheckedSlotsGoTwoNamesToALine) {
  testing_support::TempDir dir;
  FileTable table({[](const std::string&) { return 1; },
                   [](const std::string&) { return std::string("img"); },
                   [](const std::string& name) { return name.empty() ? 255 : name[0]; }});
  for (const char* name : {"a.img", "b.img", "c.img", "d.img", "e.img"}) {
    std::ofstream(dir / name) << name;
    table.AddFile(dir / name);
  }
  table.SetCheck(1, false);
  table.SetCheck(3, false);
  CImageStore store;
  const DownloadArguments a = NormalDownloadArguments(table, store);
  EXPECT_EQ(a.paths, (std::vector<std::string>{dir / "a.img", dir / "c.img", dir / "e.img"}));
  EXPECT_EQ(a.listText, "==  download lists  ==\n1. a.img    2. c.img\n3. e.img");
  EXPECT_EQ(FactoryListText("/x/cp.fls", "/x/ap.bin"), "1. /x/cp.fls\n2. /x/ap.bin");
}

TEST(LogTextTest, TheFiveHundredthLineEmptiesTheLogFirst) {
  LogText log;
  for (int i = 0; i < 498; ++i) EXPECT_FALSE(log.Append("line"));
  EXPECT_FALSE(log.Append("499"));
  EXPECT_TRUE(log.Append("500"));
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"500"});
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
