// The model's partition table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "plugin/model_parser.h"

namespace {

std::vector<uint8_t> Image(const std::string& text) {
  std::vector<uint8_t> image(4 + text.size());
  bytes::StoreLe32(image.data(), static_cast<uint32_t>(text.size()));
  std::copy(text.begin(), text.end(), image.begin() + 4);
  return image;
}

constexpr const char* kTable =
    "[device]\n"
    "Total_size = 0x3A6065\n"
    "[partition]\n"
    "name = boot\n"
    "size = 0x10\n"
    "filename=boot.img\n"
    "[partition]\n"
    "name=userdata\n"
    "size=010\n"       // octal: 8
    "[comment-ish]\n"  // ignored section: the partition stays open
    "filename=data.img\n"
    "[device]\n"
    "Total_size=100\n"
    "[partition]\n"
    "name=extra\n"
    "size=32\n"
    "# end\n";

TEST(ModelParser, DevicesPartitionsAndConsecutiveRanges) {
  CModelParser parser;
  const auto image = Image(kTable);
  ASSERT_TRUE(parser.Parse(image.data()));
  ASSERT_EQ(parser.Devices().size(), 2u);
  EXPECT_EQ(parser.FirstDeviceTotalSize(), 0x3A6065u);
  EXPECT_EQ(parser.FirstDevicePartitions(), 2u);
  ASSERT_EQ(parser.Partitions().size(), 3u);
  EXPECT_EQ(parser.Partitions()[0].name, " boot");  // the value keeps its leading space
  EXPECT_EQ(parser.Partitions()[1].fileName, "data.img");
  EXPECT_EQ(parser.Partitions()[1].size, 8u);
  const auto extra = parser.ByIndex(2);
  ASSERT_TRUE(extra);
  EXPECT_EQ(extra->start, 0x10u + 8u);
  EXPECT_EQ(parser.Partitions()[2].end, 0x10u + 8u + 32u - 1u);
  EXPECT_FALSE(parser.ByIndex(3));
  EXPECT_EQ(parser.ByName("userdata")->start, 0x10u);
  EXPECT_FALSE(parser.ByName("boot"));  // " boot" is not "boot"
  const auto boot = parser.ByFileName("boot.img");
  ASSERT_TRUE(boot);
  EXPECT_EQ(boot->index, 0u);
  EXPECT_EQ(parser.FileNameAt(1), "data.img");
  EXPECT_EQ(parser.FileNameAt(9), "");
}

TEST(ModelParser, TheLastLineCountsWithOrWithoutItsLineEnd) {
  for (const char* end : {"\n", ""}) {
    CModelParser parser;
    const auto image = Image(
        std::string("[device]\nTotal_size=5\n[partition]\nname=boot\nfilename=boot.img") + end);
    ASSERT_TRUE(parser.Parse(image.data()));
    ASSERT_EQ(parser.Partitions().size(), 1u);
    EXPECT_EQ(parser.Partitions()[0].name, "boot");
    EXPECT_EQ(parser.Partitions()[0].fileName, "boot.img") << "line end: " << (*end ? "yes" : "no");
  }
}

TEST(ModelParser, BrokenTablesAreRefusedWithAReason) {
  CModelParser parser;
  std::string error;
  const auto early = Image("[partition]\nname=boot\n[device]\n");
  EXPECT_FALSE(parser.Parse(early.data(), &error));
  EXPECT_NE(error.find("before any device"), std::string::npos);
  const auto unclosed = Image("[device]\nTotal_size=5\n[partition\n");
  EXPECT_FALSE(parser.Parse(unclosed.data(), &error));
  const auto comment = Image("[device]\n# no line end");
  EXPECT_FALSE(parser.Parse(comment.data(), &error));
  const auto empty = Image("");
  EXPECT_TRUE(parser.Parse(empty.data()));
  EXPECT_EQ(parser.FirstDevicePartitions(), 0u);
  EXPECT_EQ(parser.FirstDeviceTotalSize(), 0u);
}

TEST(ModelParser, RangesMayReachTheirLimitsButNotPassThem) {
  const auto parse = [](const std::string& text) {
    CModelParser parser;
    const auto image = Image(text);
    return parser.Parse(image.data());
  };
  // Sizes in bytes: the last range may end exactly at 4 GiB.
  const std::string bytes = "[device]\nTotal_size=0x800000\n[partition]\nsize=0x80000000\n";
  EXPECT_TRUE(parse(bytes + "[partition]\nsize=0x80000000\n"));
  EXPECT_FALSE(parse(bytes + "[partition]\nsize=0x80000001\n"));
  // Sizes in sectors: the total size (sectors) bounds the ranges.
  const std::string sectors = "[device]\nTotal_size=100\n[partition]\nsize=60\n";
  EXPECT_TRUE(parse(sectors + "[partition]\nsize=040\n"));  // octal 32: ends at 92
  EXPECT_FALSE(parse(sectors + "[partition]\nsize=41\n"));
}

TEST(ModelParser, LongNamesAreCutToTheirFields) {
  CModelParser parser;
  const auto image = Image("[device]\n[partition]\nname=" + std::string(60, 'n') +
                           "\nfilename=" + std::string(200, 'f') + "\n[x]\n");
  ASSERT_TRUE(parser.Parse(image.data()));
  EXPECT_EQ(parser.Partitions()[0].name.size(), CModelParser::kMaxName);
  EXPECT_EQ(parser.Partitions()[0].fileName.size(), 200u);
}

}  // namespace
