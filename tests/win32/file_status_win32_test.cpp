// What a file's status, identity and writability say on Windows, for names in Hangul.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "corvane/platform/file_status.h"
#include "support/temp_dir.h"
#include "win32/wide_names.h"

namespace {

namespace fs = std::filesystem;
using win32_test::kHangul;
using win32_test::PathOf;
using win32_test::Utf8Of;

TEST(FileStatusWin32, IdentityFollowsARewriteAndWritabilityFollowsTheReadOnlyMark) {
  testing_support::TempDir dir;
  const std::string path = Utf8Of(dir.Path()) + "\\" + kHangul + ".bin";
  std::ofstream(PathOf(path), std::ios::binary) << "first";
  const std::optional<platform::FileIdentity> before = platform::IdentityOf(path);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->size, 5u);
  EXPECT_NE(before->inode, 0u);
  // Nanoseconds since 1970, as on POSIX: written within the last minute.
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  EXPECT_NEAR(static_cast<double>(before->modifiedNs), static_cast<double>(now), 60e9);
  std::ofstream(PathOf(path), std::ios::binary) << "second";
  const std::optional<platform::FileIdentity> after = platform::IdentityOf(path);
  ASSERT_TRUE(after);
  EXPECT_NE(*after, *before);
  EXPECT_EQ(after->inode, before->inode);  // the same file, rewritten
  EXPECT_FALSE(platform::IdentityOf(Utf8Of(dir.Path()) + "\\missing"));

  std::string why;
  EXPECT_TRUE(platform::MayWrite(path, why)) << why;
  EXPECT_TRUE(platform::MayWrite(Utf8Of(dir.Path()) + "\\not-yet", why)) << why;
  EXPECT_TRUE(platform::MayWrite(Utf8Of(dir.Path()), why)) << why;
  fs::permissions(PathOf(path), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_FALSE(platform::MayWrite(path, why));
  EXPECT_NE(why, "");

  const platform::FileStatus file = platform::StatusOf(path);
  EXPECT_TRUE(file.exists);
  EXPECT_FALSE(file.characterDevice);
  EXPECT_EQ(file.mode, 0444u);
  EXPECT_EQ(platform::StatusOf(Utf8Of(dir.Path())).mode, 0777u);
  EXPECT_FALSE(platform::StatusOf(Utf8Of(dir.Path()) + "\\missing").exists);
  fs::permissions(PathOf(path), fs::perms::owner_write, fs::perm_options::add);
}

TEST(FileStatusWin32, TheUserHasANameAndANumber) {
  const platform::UserIdentity user = platform::CurrentUser();
  EXPECT_NE(user.name, "");
  EXPECT_NE(user.uid, 0u);
}

}  // namespace
