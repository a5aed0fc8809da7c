// The module framework: the base's refusals and the model module's working objects.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "plugin/model_module.h"
#include "support/message_boxes.h"
#include "support/recording_window.h"

namespace {

class ModuleFramework : public ::testing::Test {
 protected:
  ModuleFramework() {}

  testing_support::MessageBoxes boxes;
};

TEST_F(ModuleFramework, TheBaseAsksForOverridesAndTakesEveryFile) {
  CBasicModule base;
  base.MakeOverrideClassObj();
  base.ReleaseOverrideClassObj();
  const std::vector<std::string> paths;
  EXPECT_EQ(base.StartDownload(nullptr, 1, nullptr, 0, paths, 1000, 0), 0);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>(3, CBasicModule::kNotOverridden));
  EXPECT_EQ(base.JudgeFile("anything.xyz"), 1);
  EXPECT_EQ(base.m_pFlash, nullptr);
}

// The caller's array may be shorter than the flash object's 20 slots: only `count` are read.
TEST(DownloadBuffers, OnlyTheCountGivenIsTakenFromTheCallersArray) {
  uint8_t image[4] = {};
  uint8_t* images[CBasicFlash::kMaxBuffers];
  for (uint8_t*& p : images) p = image;
  CBasicFlash flash;
  flash.InitDLBuffer(2, images);
  EXPECT_EQ(flash.m_pDLBuffer[1], image);
  for (int i = 2; i < CBasicFlash::kMaxBuffers; ++i) EXPECT_EQ(flash.m_pDLBuffer[i], nullptr) << i;
}

TEST_F(ModuleFramework, SetParentHandleTellsTheWindowAtOnce) {
  testing_support::RecordingWindow window;
  CBasicModule base;
  base.SetParentHandle(&window);
  EXPECT_EQ(window.Codes(), std::vector<platform::LPARAM>{30});
  EXPECT_EQ(base.GetParentHandle(), &window);
}

TEST_F(ModuleFramework, ModelModuleOwnsExactlyOneSetOfWorkingObjects) {
  CModelModule module;
  ASSERT_NE(module.m_pParser, nullptr);
  ASSERT_NE(module.m_pFlash, nullptr);
  ASSERT_NE(module.m_pFileMngr, nullptr);
  ASSERT_NE(module.m_pComm, nullptr);
  module.MakeOverrideClassObj();  // a second set replaces the first (leaks show under asan)
  EXPECT_NE(module.m_pFlash, nullptr);
  module.ReleaseOverrideClassObj();
  EXPECT_EQ(module.m_pParser, nullptr);
  EXPECT_EQ(module.m_pFlash, nullptr);
  EXPECT_EQ(module.m_pFileMngr, nullptr);
  EXPECT_EQ(module.m_pComm, nullptr);
  module.ReleaseOverrideClassObj();  // nothing left: nothing happens
  EXPECT_TRUE(boxes.Texts().empty());
  // A host holding the base reaches the model's download, not the base's complaint.
  CModelModule fresh;
  CBasicModule& base = fresh;
  EXPECT_EQ(base.StartDownload(nullptr, 0, nullptr, 0, {}, 1000, 0), 0);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(ModuleFramework, ModelModuleJudgesThroughItsFileManager) {
  CModelModule module;
  EXPECT_EQ(module.JudgeFile("/fw/boot.img"), 1);
  EXPECT_EQ(module.JudgeFile("/fw/boot.IMG"), 0);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Can't support current file"});
}

}  // namespace
