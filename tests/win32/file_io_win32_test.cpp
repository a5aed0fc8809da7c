// Files named in Hangul, positioned past 4 GiB, through the Windows C library.

#include <gtest/gtest.h>

#include "corvane/platform/file_io.h"
#include "support/temp_dir.h"
#include "win32/wide_names.h"

namespace {

namespace fs = std::filesystem;
using win32_test::kHangul;
using win32_test::PathOf;
using win32_test::Utf8Of;

TEST(FileIoWin32, LengthsAndPositionsPastFourGibibytesInAFileNamedInHangul) {
  testing_support::TempDir dir;
  const std::string path = Utf8Of(dir.Path()) + "\\" + kHangul + ".bin";
  constexpr uint64_t kLength = uint64_t{5} << 30;
  constexpr uint64_t kMarkAt = kLength - (uint64_t{1} << 29);
  {
    const platform::File file = platform::OpenFile(path.c_str(), "wb");
    ASSERT_TRUE(file);
    ASSERT_EQ(std::fputc('A', file.get()), 'A');
  }
  ASSERT_TRUE(fs::exists(PathOf(path)));   // under its own name, not the ANSI page's guess
  fs::resize_file(PathOf(path), kLength);  // sparse where the file system makes it so (Wine)
  {
    const platform::File file = platform::OpenFile(path.c_str(), "r+b");
    ASSERT_TRUE(file);
    ASSERT_TRUE(platform::SeekTo(file.get(), kMarkAt));
    ASSERT_EQ(std::fwrite("TQ", 1, 2, file.get()), 2u);
  }
  const platform::File file = platform::OpenFile(path.c_str(), "rb");
  ASSERT_TRUE(file);
  EXPECT_EQ(platform::LengthOf(file.get()), kLength);
  EXPECT_EQ(std::fgetc(file.get()), 'A');  // left at its start
  ASSERT_TRUE(platform::SeekTo(file.get(), kMarkAt));
  char mark[2] = {};
  ASSERT_EQ(std::fread(mark, 1, 2, file.get()), 2u);
  EXPECT_EQ(std::string(mark, 2), "TQ");
  EXPECT_FALSE(platform::OpenFile((Utf8Of(dir.Path()) + "\\missing.bin").c_str(), "rb"));
  EXPECT_FALSE(platform::OpenFile("\xFF\xFE.bin", "wb"));  // not UTF-8: nothing made
  EXPECT_FALSE(platform::OpenFile(nullptr, "rb"));
}

}  // namespace
