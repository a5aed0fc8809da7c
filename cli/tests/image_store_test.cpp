// The image store: what each path becomes, which messages the user sees, and when reading counts
// as complete.

#include "host/image_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/message_box.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"

namespace {

using State = CImageStore::SlotState;

using testing_support::MessageBoxes;

class ImageStore : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // The length word of slot i and the bytes after it.
  static std::pair<uint32_t, std::string> Slot(const CImageStore& store, size_t i) {
    const uint8_t* image = store.Image(i);
    if (image == nullptr) return {0xFFFFFFFF, ""};
    const uint32_t length = bytes::LoadLe32(image);
    return {length, std::string(reinterpret_cast<const char*>(image + 4), length)};
  }

  testing_support::TempDir dir;
  MessageBoxes boxes;
  CImageStore store;
};

TEST_F(ImageStore, MissingFileInTheMiddleIsReportedTwiceAndTheReadStillCompletes) {
  const std::string a = Write("a.img", "first");
  const std::string missing = dir / "missing.img";
  const std::string c = Write("c.img", "third file");
  EXPECT_EQ(store.ReadImages({a, missing, c}), 1);
  EXPECT_EQ(store.ReadingComplete(), 1);
  ASSERT_EQ(boxes.Texts().size(), 2u);
  EXPECT_EQ(boxes.Texts()[0], "File Open Error");
  EXPECT_EQ(boxes.Texts()[1], std::make_error_code(std::errc::no_such_file_or_directory).message());
  EXPECT_EQ(Slot(store, 0), std::make_pair(5u, std::string("first")));
  EXPECT_EQ(store.Image(1), nullptr);
  EXPECT_EQ(Slot(store, 2), std::make_pair(10u, std::string("third file")));
  // The caller learns which path has no image and why, instead of passing on a null pointer.
  const auto problems = store.Problems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].path, missing);
  EXPECT_EQ(problems[0].state, State::kOpenError);
  EXPECT_NE(DescribeProblem(problems[0]).find(missing), std::string::npos);
}

TEST_F(ImageStore, EmptyFileIsAFourByteBufferOfLengthZero) {
  EXPECT_EQ(store.ReadImages({Write("empty.img", "")}), 1);
  EXPECT_EQ(Slot(store, 0), std::make_pair(0u, std::string()));
  EXPECT_TRUE(store.Problems().empty());
  EXPECT_TRUE(boxes.Texts().empty());
}

// The limit holds for what is loaded; a partition the plug-in streams is only checked to open.
TEST_F(ImageStore, OnlyFilesToBeLoadedAreHeldToThreeHundredMebibytes) {
  const std::string big = dir / "big.img";
  std::ofstream(big).close();
  std::filesystem::resize_file(big, CImageStore::kTooLarge);  // sparse: costs no disk
  const std::string small = Write("small.img", "x");
  EXPECT_EQ(store.ReadImages({big, small}, {true, true}), 1);
  EXPECT_EQ(store.ReadingComplete(), 1);
  EXPECT_EQ(store.Image(0), nullptr);
  EXPECT_EQ(Slot(store, 1).second, "x");
  EXPECT_TRUE(boxes.Texts().empty());
  ASSERT_EQ(store.Problems().size(), 1u);
  EXPECT_EQ(store.Problems()[0].state, State::kTooLarge);

  const std::string missing = dir / "missing.img";
  EXPECT_EQ(store.ReadImages({big, small, missing}, {false, false, false}), 1);
  EXPECT_EQ(store.Image(0), nullptr);
  EXPECT_EQ(store.Image(1), nullptr);
  EXPECT_EQ(store.Reports()[0].state, State::kOnDisk);
  ASSERT_EQ(store.Problems().size(), 1u);  // left on disk, but it has to exist
  EXPECT_EQ(store.Problems()[0].state, State::kOpenError);
}

TEST_F(ImageStore, AFileShorterThanItsSizeStopsTheReadAndLeavesTheFlagAtZero) {
  // A kernel attribute file claims a page and holds a few bytes: a read that stops short.
  const std::string shortFile = "/sys/devices/system/cpu/online";
  std::error_code ec;
  if (std::filesystem::file_size(shortFile, ec) < 64 || ec) GTEST_SKIP() << "no such file here";
  const std::string before = Write("before.img", "kept");
  const std::string after = Write("after.img", "never read");
  EXPECT_EQ(store.ReadImages({before, shortFile, after}), 0);
  EXPECT_EQ(store.ReadingComplete(), 0);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"We can't read " + shortFile});
  EXPECT_EQ(Slot(store, 0).second, "kept");  // slots read before stay
  EXPECT_EQ(store.Image(1), nullptr);
  EXPECT_EQ(store.Image(2), nullptr);
  EXPECT_EQ(store.Reports()[1].state, State::kShortRead);
  EXPECT_EQ(store.Reports()[2].state, State::kNotRead);
}

TEST_F(ImageStore, ADirectoryIsAFileError) {
  EXPECT_EQ(store.ReadImages({dir.Path().string()}), 1);
  EXPECT_EQ(store.Image(0), nullptr);
  ASSERT_EQ(boxes.Texts().size(), 2u);
  EXPECT_EQ(boxes.Texts()[0], "File Open Error");
  EXPECT_EQ(store.Problems()[0].state, State::kOpenError);
}

TEST_F(ImageStore, ASecondReadFreesTheFirstOnesImages) {
  EXPECT_EQ(store.ReadImages({Write("one.img", "1"), Write("two.img", "22")}), 1);
  EXPECT_EQ(store.ReadImages({Write("three.img", "333")}), 1);
  EXPECT_EQ(Slot(store, 0).second, "333");
  EXPECT_EQ(store.Image(1), nullptr);
  EXPECT_EQ(store.Reports().size(), 1u);
  store.FreeImages();
  EXPECT_EQ(store.Image(0), nullptr);
  EXPECT_EQ(store.ReadingComplete(), 0);
}

TEST_F(ImageStore, PathsBeyondTheTwentySlotsAreReportedNotRead) {
  std::vector<std::string> paths;
  for (int i = 0; i < 21; ++i) paths.push_back(Write("f" + std::to_string(i), std::to_string(i)));
  EXPECT_EQ(store.ReadImages(paths), 1);
  EXPECT_EQ(Slot(store, 19).second, "19");
  const auto problems = store.Problems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].path, paths[20]);
  EXPECT_EQ(problems[0].state, State::kNotRead);
  EXPECT_NE(DescribeProblem(problems[0]).find("20"), std::string::npos);
  EXPECT_EQ(store.Images(21).back(), nullptr);
}

}  // namespace
