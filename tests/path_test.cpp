// File names as the user gives them, in UTF-8, through the file system's paths and back.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "corvane/platform/path.h"

namespace {

// Windows takes a path built from a narrow string byte for byte: each byte of a Hangul name
// becomes a character of its own.
TEST(Path, HangulNameKeepsItsCharactersThroughTheFileSystemsPath) {
  const std::u8string file = u8"\uBCF5\uAD6C \uC774\uBBF8\uC9C0.img";  // "recovery image.img"
  const std::u8string full = u8"\uD38C\uC6E8\uC5B4/" + file;           // in "firmware"
  const std::string name(full.begin(), full.end());
  const std::filesystem::path path = platform::PathOf(name);
  EXPECT_TRUE(path.filename().u8string() == file);
  EXPECT_EQ(platform::Utf8Of(path), name);
  EXPECT_EQ(platform::BareName(name), std::string(file.begin(), file.end()));
}

}  // namespace
