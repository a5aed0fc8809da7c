// The partition streams' reader: blocks come in order, padded, and a block the file cannot give
// fails instead of being sent with stale bytes from the buffer before.

#include "flash/block_read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr uint32_t kBlock = 4096;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

TEST(BlockReadAhead, GivesEachBlockInOrderAndFailsWhereTheFileEnds) {
  std::vector<uint8_t> content(2 * kBlock + 100);
  std::iota(content.begin(), content.end(), uint8_t{1});
  std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
  ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file.get()), content.size());
  std::rewind(file.get());
  Reporter reporter;
  sha256::StepDigest digest(reporter, content.size());

  // The stream claims a block more than the file holds: the file shrank after it was opened.
  BlockReadAhead ahead(file.get(), 0, 4 * kBlock, kBlock, digest);
  EXPECT_EQ(ahead.Fetch(kBlock, kBlock), nullptr) << "a block out of order";
  for (uint32_t b = 0; b < 2; ++b) {
    const uint8_t* block = ahead.Fetch(uint64_t{b} * kBlock, kBlock);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::equal(block, block + kBlock, content.begin() + b * kBlock));
  }
  EXPECT_EQ(ahead.Fetch(2 * kBlock, kBlock), nullptr);
  EXPECT_EQ(digest.Covered(), content.size()) << "what the file gave before it ended";
}

// The last block goes into the buffer that held the first: nothing of that may show past its end.
TEST(BlockReadAhead, PadsTheLastShortBlockWithZeros) {
  std::vector<uint8_t> content(2 * kBlock + 10, 0xAB);
  std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
  ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file.get()), content.size());
  std::rewind(file.get());
  Reporter reporter;
  sha256::StepDigest digest(reporter, content.size());
  BlockReadAhead ahead(file.get(), 0, content.size(), kBlock, digest);
  ASSERT_NE(ahead.Fetch(0, kBlock), nullptr);
  ASSERT_NE(ahead.Fetch(kBlock, kBlock), nullptr);
  const uint8_t* last = ahead.Fetch(2 * kBlock, 10);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last[9], 0xAB);
  EXPECT_TRUE(std::all_of(last + 10, last + kBlock, [](uint8_t v) { return v == 0; }));
}

}  // namespace
