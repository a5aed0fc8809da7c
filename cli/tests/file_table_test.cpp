// The file table: typing, order codes (238 for names the plug-in does not know), the 20-slot
// limit, duplicates, drops, and the rows the page shows.

#include "host/file_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "support/temp_dir.h"

namespace {

using Add = FileTable::AddResult;

// Typing like a model's: a few known name parts with their codes; "reject" in a path is refused.
FileTyping ModelTyping() {
  FileTyping t;
  t.judge = [](const std::string& path) {
    return path.find("reject") == std::string::npos ? 1 : 0;
  };
  t.typeText = [](const std::string& path) {
    return path.size() < 3 ? path : path.substr(path.size() - 3);
  };
  t.order = [](const std::string& name) {
    if (name.find("psi") != std::string::npos) return 0x20;
    if (name.find("cfg") != std::string::npos) return 0x26;
    if (name.find("boot") != std::string::npos) return 0x41;
    return 255;
  };
  return t;
}

std::vector<std::string> Names(const FileTable& table) {
  std::vector<std::string> out;
  for (int i = 0; i < FileTable::kSlots; ++i) out.push_back(table.At(i).name);
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

TEST(FileTable, KnownFilesComeInCodeOrderAndUnknownOnesAfterThemAs238) {
  FileTable table(ModelTyping());
  EXPECT_EQ(table.AddFile("/fw/system.img"), Add::kAdded);
  EXPECT_EQ(table.AddFile("/fw/u-boot.bin"), Add::kAdded);
  EXPECT_EQ(table.AddFile("/fw/partition.cfg"), Add::kAdded);
  EXPECT_EQ(table.AddFile("/fw/TQ_psi.fls"), Add::kAdded);
  EXPECT_EQ(Names(table),
            (std::vector<std::string>{"TQ_psi.fls", "partition.cfg", "u-boot.bin", "system.img"}));
  EXPECT_EQ(table.At(3).order, FileTable::kUnknown);
  EXPECT_EQ(table.At(4).order, FileTable::kFree);
  EXPECT_EQ(table.At(4).check, 0);
  // Unknown names are downloaded but not counted in the header.
  EXPECT_EQ(table.FileCount(), 3);
  EXPECT_EQ(table.Header(), "Files to Download(3/3)");
  EXPECT_EQ(table.CheckedPaths(), (std::vector<std::string>{"/fw/TQ_psi.fls", "/fw/partition.cfg",
                                                            "/fw/u-boot.bin", "/fw/system.img"}));
  // Only the kinds the plug-in types are loaded; system.img is streamed from its path.
  EXPECT_EQ(table.CheckedLoads(), (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(table.At(0).type, "fls");
}

TEST(FileTable, ALaterFileWithALowerCodeMovesAhead) {
  FileTable table(ModelTyping());
  table.AddFile("/fw/boot.img");
  table.AddFile("/fw/a.cfg");
  EXPECT_EQ(Names(table), (std::vector<std::string>{"a.cfg", "boot.img"}));
}

TEST(FileTable, DuplicatesRejectedFilesAndNoPluginAddNothing) {
  FileTable table(ModelTyping());
  EXPECT_EQ(table.AddFile("/fw/boot.img"), Add::kAdded);
  EXPECT_EQ(table.AddFile("/fw/boot.img"), Add::kDuplicate);
  EXPECT_EQ(table.AddFile("/fw/reject.img"), Add::kRejected);
  EXPECT_EQ(Names(table), std::vector<std::string>{"boot.img"});
  EXPECT_EQ(AddResultMessage(Add::kDuplicate), "");  // silently, as the page does
  EXPECT_EQ(AddResultMessage(Add::kRejected), "");

  FileTable none;
  EXPECT_EQ(none.AddFile("/fw/boot.img"), Add::kNoPlugin);
  EXPECT_EQ(AddResultMessage(Add::kNoPlugin), "At first, You should input dll file");
  EXPECT_TRUE(none.CheckedPaths().empty());
}

TEST(FileTable, AFileReachedThroughALinkIsListedOnce) {
  testing_support::TempDir dir;
  const std::string real = dir / "boot.img";
  std::ofstream(real) << "image";
  std::filesystem::create_symlink(real, dir / "boot-link.img");
  FileTable table(ModelTyping());
  EXPECT_EQ(table.AddFile(real), Add::kAdded);
  EXPECT_EQ(table.AddFile(dir / "boot-link.img"), Add::kDuplicate);
  EXPECT_EQ(table.CheckedPaths(), std::vector<std::string>{real});
}

TEST(FileTable, TheTwentyFirstFileDoesNotFit) {
  FileTable table(ModelTyping());
  for (int i = 0; i < 20; ++i) ASSERT_EQ(table.AddFile("/fw/" + std::to_string(i)), Add::kAdded);
  EXPECT_EQ(table.AddFile("/fw/20"), Add::kFull);
  EXPECT_EQ(AddResultMessage(Add::kFull), "Number of file can't exceed 20");
  EXPECT_EQ(table.CheckedPaths().size(), 20u);
}

TEST(FileTable, DropsAreLimitedAndStopAtAListedFile) {
  FileTable table(ModelTyping());
  std::vector<std::string> many;
  for (int i = 0; i < 21; ++i) many.push_back("/fw/d" + std::to_string(i));
  const auto tooMany = table.Drop(many);
  EXPECT_EQ(tooMany.added, 0);
  EXPECT_EQ(tooMany.message, "We can't allow more than 20 file");

  table.AddFile("/fw/b");
  const auto stopped = table.Drop({"/fw/a", "/fw/b", "/fw/c"});
  EXPECT_EQ(stopped.added, 1);
  EXPECT_EQ(stopped.stoppedBy, Add::kDuplicate);
  EXPECT_EQ(table.CheckedPaths(), (std::vector<std::string>{"/fw/b", "/fw/a"}));

  for (int i = 0; i < 16; ++i) table.AddFile("/fw/x" + std::to_string(i));  // 18 filled
  const auto full = table.Drop({"/fw/y0", "/fw/reject", "/fw/y1", "/fw/y2", "/fw/y3"});
  EXPECT_EQ(full.added, 2);
  EXPECT_EQ(full.message, "Number of file can't exceed 20");
}

TEST(FileTable, RemovingAndUncheckingChangeWhatIsDownloaded) {
  FileTable table(ModelTyping());
  table.AddFile("/fw/psi.fls");
  table.AddFile("/fw/boot.img");
  table.AddFile("/fw/other.img");
  table.SetCheck(1, false);
  EXPECT_EQ(table.CheckedPaths(), (std::vector<std::string>{"/fw/psi.fls", "/fw/other.img"}));
  EXPECT_EQ(table.CheckedKnownCount(), 1);
  table.RemoveSlot(0);
  EXPECT_EQ(Names(table), (std::vector<std::string>{"boot.img", "other.img"}));
  table.RemoveAll();
  EXPECT_TRUE(table.CheckedPaths().empty());
  EXPECT_EQ(table.FileCount(), 0);
}

TEST(FileTable, RowsShowWholeKilobytesAndTheLocalDate) {
  testing_support::TempDir dir;
  const std::string small = dir / "small.img";
  const std::string mebibyte = dir / "boot.img";
  std::ofstream(small) << std::string(1023, 'x');
  std::ofstream(mebibyte).close();
  std::filesystem::resize_file(mebibyte, 1 << 20);
  FileTable table(ModelTyping());
  table.AddFile(small);
  table.AddFile(mebibyte);
  table.AddFile(dir / "gone.img");
  const auto rows = table.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].path, mebibyte);
  EXPECT_EQ(rows[0].size, "1024 KByte");
  EXPECT_EQ(rows[1].size, "0 KByte");
  EXPECT_TRUE(cli_testing::Shaped(rows[0].date, "9999-99-99 99:99")) << rows[0].date;
  EXPECT_EQ(rows[2].size, "");  // a file that is gone shows no size or date
  EXPECT_EQ(rows[2].date, "");
  EXPECT_EQ(rows[1].number, 2);
  EXPECT_TRUE(rows[1].checked);
}

}  // namespace
