#include <gtest/gtest.h>

#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"
#include "support/temp_dir.h"
#include "win32/wide_names.h"

namespace {

// Windows keeps no owner-only directories: every one is refused with the reason, none is made,
// and no file counts as this user's, so no announcement is ever read or written.
TEST(PrivateFilesWin32, NoDirectoryIsPrivateAndNoAnnouncementIsOpened) {
  testing_support::TempDir dir;
  const std::string path = win32_test::Utf8Of(dir.Path()) + "\\tarvex-ports";
  const std::string refused = platform::MakePrivateDirectory(path, true);
  EXPECT_EQ(refused.rfind(path + ": ", 0), 0u) << refused;
  EXPECT_FALSE(std::filesystem::exists(win32_test::PathOf(path)));
  EXPECT_NE(platform::PrivateDirectoryProblem(win32_test::Utf8Of(dir.Path()), platform::UserId()),
            "");
  EXPECT_FALSE(platform::FileOwner(win32_test::Utf8Of(dir.Path())));
  EXPECT_FALSE(platform::IsPseudoTerminalPeer("/dev/pts/0"));
  std::string problem;
  EXPECT_EQ(platform::UserRuntimeDirectory(&problem), "");
  EXPECT_NE(problem.find("pseudo-terminals"), std::string::npos) << problem;
  EXPECT_GT(platform::UserId(), 0);
}

}  // namespace
