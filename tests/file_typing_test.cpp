// The model's file typing, through its file manager and through the plug-in's exports.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/platform/message_box.h"
#include "plugin/model_file_mngr.h"
#include "support/message_boxes.h"
#include "support/plugin.h"

namespace {

class FileTyping : public ::testing::Test {
 protected:
  FileTyping() {}

  CModelFileMngr files;
  testing_support::Plugin plugin;
  testing_support::MessageBoxes boxes;
};

TEST_F(FileTyping, OrderComesFromTheFirstRowAndTypeFromTheLast) {
  EXPECT_EQ(files.FileDLOrder("/fw/psi_cfg.fls"), 0x20);
  EXPECT_EQ(files.GetFileTypeStr("/fw/psi_cfg.fls"), "cfg");
  EXPECT_EQ(files.FileDLOrder("/fw/V618_AENEAS.fls"), 0x22);
  EXPECT_EQ(files.GetFileTypeStr("/fw/V618_AENEAS.fls"), "AENEAS");
  EXPECT_EQ(files.FileDLOrder("/fw/u-boot.bin"), 0x41);
  EXPECT_EQ(files.GetFileTypeStr("/fw/boot.img"), "Unknown");
  EXPECT_EQ(files.FileDLOrder("/fw/boot.img"), 255);
  EXPECT_EQ(files.FileDLOrder("/fw/PSI.fls"), 255);  // case matters
}

TEST_F(FileTyping, TheManagerLooksAtTheBareNameTheExportAtTheWholeText) {
  const std::string path = "/images/cfg/boot.img";
  EXPECT_EQ(files.FileDLOrder(path), 255);
  EXPECT_EQ(plugin.FileDLOrder(&path), 0x26);
  const std::string bare = "boot.img";
  EXPECT_EQ(plugin.FileDLOrder(&bare), 255);
  EXPECT_EQ(plugin.FileDLOrder(nullptr), 255);
}

TEST_F(FileTyping, JudgeTakesTheTenExtensionsExactly) {
  for (const char* ok : {"a.bin", "a.fls", "a.img", "a.ift", "a.age", "recovery", "a.cfg", "a.bct",
                         "a.xt3", "a.mmc"}) {
    EXPECT_EQ(files.JudgeFile(ok), 1) << ok;
  }
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(files.JudgeFile("/fw/BOOT.BIN"), 0);
  EXPECT_EQ(files.JudgeFile("x"), 0);
  EXPECT_EQ(boxes.Texts(),
            (std::vector<std::string>{"Can't support current file", "Can't support current file"}));
  const std::string upper = "/fw/BOOT.BIN";
  EXPECT_EQ(plugin.JudgeFile(&upper), 1);  // the export takes every file
}

TEST_F(FileTyping, ExportTypeTextIsTheLastThreeCharactersOfTheBareName) {
  const std::string a = "/fw/boot.img";
  const std::string b = "/fw/xy";
  const std::string c = "/fw/dir.cfg/";
  EXPECT_STREQ(plugin.GetFileTypeStr(&a), "img");
  EXPECT_STREQ(plugin.GetFileTypeStr(&b), "xy");
  EXPECT_STREQ(plugin.GetFileTypeStr(&c), "");
}

}  // namespace
