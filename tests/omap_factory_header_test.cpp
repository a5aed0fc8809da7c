// The OMAP eMMC factory header: reading, the unit rule, the partition plan and the size text.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "flash/ap_factory_headers.h"
#include "sim/builders/ap_builders.h"

namespace {

using namespace ap_factory;
using phonesim::builders::OmapFactoryBuilder;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMiB = 1u << 20;

// A header written byte by byte, independent of the builder.
Bytes HandWrittenHeader() {
  Bytes h(kOmapHeaderSize, 0xEE);
  const uint8_t magic[] = {0xA5, 0xA5, 0x55, 0xAA};
  std::copy(std::begin(magic), std::end(magic), h.begin());
  for (size_t i = 0; i < kOmapEntries; ++i) bytes::StoreLe32(&h[4 + 8 * i], kOmapEndMarker);
  // entry 0: marker 0, 8 sectors, area 16; entry 1: marker 7, 0 sectors, area 4
  const uint8_t entries[] = {0, 0, 0, 0, 8, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0};
  std::copy(std::begin(entries), std::end(entries), h.begin() + 4);
  const uint8_t area0[] = {16, 0, 0, 0};
  const uint8_t area1[] = {4, 0, 0, 0};
  std::copy(std::begin(area0), std::end(area0), h.begin() + 512 + 4);
  std::copy(std::begin(area1), std::end(area1), h.begin() + 1024 + 4);
  return h;
}

TEST(OmapFactoryHeader, ReadsEntriesAndAreasUpToTheEndMarker) {
  OmapHeader header;
  ASSERT_EQ(ReadOmapHeader(HandWrittenHeader(), header), HeaderStatus::kOk);
  EXPECT_EQ(header.count, 2u);
  EXPECT_EQ(header.entries[0].imageSectors, 8u);
  EXPECT_EQ(header.entries[0].areaSize, 16u);
  EXPECT_EQ(header.entries[1].endMarker, 7u);
  EXPECT_EQ(header.entries[1].areaSize, 4u);
  EXPECT_EQ(header.entries[2].endMarker, kOmapEndMarker);
}

TEST(OmapFactoryHeader, EntriesAfterTheEndMarkerDoNotCount) {
  Bytes h = HandWrittenHeader();
  bytes::StoreLe32(&h[4], kOmapEndMarker);  // the first entry ends the list
  OmapHeader header;
  ASSERT_EQ(ReadOmapHeader(h, header), HeaderStatus::kOk);
  EXPECT_EQ(header.count, 0u);
  EXPECT_EQ(PlanOmapPartitions(header, 0).count, 0u);
}

TEST(OmapFactoryHeader, SixteenEntriesWithoutEndMarkerAllCount) {
  Bytes h = HandWrittenHeader();
  for (size_t i = 0; i < kOmapEntries; ++i) bytes::StoreLe32(&h[4 + 8 * i], 0);
  OmapHeader header;
  ASSERT_EQ(ReadOmapHeader(h, header), HeaderStatus::kOk);
  EXPECT_EQ(header.count, kOmapEntries);
}

TEST(OmapFactoryHeader, WrongOrMissingMagicAndShortHeaders) {
  const Bytes h = HandWrittenHeader();
  OmapHeader header;
  Bytes wrong = h;
  wrong[3] = 0xAB;
  EXPECT_EQ(ReadOmapHeader(wrong, header), HeaderStatus::kBadMagic);
  EXPECT_EQ(ReadOmapHeader({h.data(), 3}, header), HeaderStatus::kBadMagic);
  EXPECT_EQ(ReadOmapHeader({h.data(), 0}, header), HeaderStatus::kBadMagic);
  EXPECT_EQ(ReadOmapHeader({h.data(), 4}, header), HeaderStatus::kShortTable);
  EXPECT_EQ(ReadOmapHeader({h.data(), 131}, header), HeaderStatus::kShortTable);
  EXPECT_EQ(ReadOmapHeader({h.data(), 132}, header), HeaderStatus::kShortRecords);
  EXPECT_EQ(ReadOmapHeader({h.data(), kOmapHeaderSize - 1}, header), HeaderStatus::kShortRecords);
  EXPECT_EQ(header.count, 0u);  // nothing half-read is left behind
}

TEST(OmapFactoryHeader, AreaSumUpToTheLimitIsSectorsAboveItBytes) {
  OmapHeader header;
  header.count = 2;
  header.entries[0].areaSize = 3825000;
  header.entries[1].areaSize = 764;
  EXPECT_FALSE(OmapAreasInBytes(header));
  header.entries[1].areaSize = 765;
  EXPECT_TRUE(OmapAreasInBytes(header));
  header.count = 1;  // areas after the end marker are not added
  EXPECT_FALSE(OmapAreasInBytes(header));
}

TEST(OmapFactoryHeader, AreaSumDoesNotWrapAt32Bits) {
  OmapHeader header;
  header.count = 2;
  header.entries[0].areaSize = 0xFFFFFFFF;
  header.entries[1].areaSize = 2;  // a 32-bit sum would be 1, below the limit
  EXPECT_TRUE(OmapAreasInBytes(header));
}

TEST(OmapFactoryHeader, SectorPlanScalesEraseAndSizeAndAdvancesByTheRawArea) {
  OmapHeader header;
  header.count = 3;
  header.entries[0] = {0, 2048, 4096};
  header.entries[1] = {0, 0, 100};
  header.entries[2] = {0, 3, 8};
  const OmapPlan plan = PlanOmapPartitions(header, kMiB + (2048 + 3) * 512);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  EXPECT_FALSE(plan.areasInBytes);
  ASSERT_EQ(plan.count, 3u);
  EXPECT_EQ(plan.partitions[0].address, 0u);
  EXPECT_EQ(plan.partitions[0].eraseBytes, 4096u * 512);
  EXPECT_EQ(plan.partitions[0].announcedSize, 2048u * 512);
  EXPECT_EQ(plan.partitions[0].dataBytes, 2048u * 512);
  EXPECT_EQ(plan.partitions[0].fileOffset, kMiB);
  EXPECT_EQ(plan.partitions[1].address, 4096u);
  EXPECT_EQ(plan.partitions[1].dataBytes, 0u);
  EXPECT_EQ(plan.partitions[1].fileOffset, kMiB + 2048 * 512);
  EXPECT_EQ(plan.partitions[2].address, 4196u);
  EXPECT_EQ(plan.partitions[2].eraseBytes, 8u * 512);
  EXPECT_EQ(plan.partitions[2].fileOffset, kMiB + 2048 * 512);
}

TEST(OmapFactoryHeader, BytePlanKeepsAreasAndAnnouncesTheSectorCountAsItStands) {
  OmapHeader header;
  header.count = 2;
  header.entries[0] = {0, 4, 3825000};
  header.entries[1] = {0, 1, 765};
  const OmapPlan plan = PlanOmapPartitions(header, kMiB + 5 * 512);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  EXPECT_TRUE(plan.areasInBytes);
  EXPECT_EQ(plan.partitions[0].eraseBytes, 3825000u);
  EXPECT_EQ(plan.partitions[0].announcedSize, 4u);
  EXPECT_EQ(plan.partitions[0].dataBytes, 2048u);
  EXPECT_EQ(plan.partitions[1].address, 3825000u);
  EXPECT_EQ(plan.partitions[1].eraseBytes, 765u);
}

TEST(OmapFactoryHeader, DataPastTheEndOfTheFileIsRefusedAtTheEntryThatRunsOut) {
  OmapHeader header;
  header.count = 2;
  header.entries[0] = {0, 2, 4};
  header.entries[1] = {0, 2, 4};
  const uint64_t exact = kMiB + 4 * 512;
  EXPECT_EQ(PlanOmapPartitions(header, exact).status, PlanStatus::kOk);
  const OmapPlan shortByOne = PlanOmapPartitions(header, exact - 1);
  EXPECT_EQ(shortByOne.status, PlanStatus::kPastEndOfFile);
  EXPECT_EQ(shortByOne.failedEntry, 1u);
  const OmapPlan headerOnly = PlanOmapPartitions(header, 9000);
  EXPECT_EQ(headerOnly.status, PlanStatus::kPastEndOfFile);
  EXPECT_EQ(headerOnly.failedEntry, 0u);
}

TEST(OmapFactoryHeader, SizesThatDoNotFitTheirFieldsAreRefused) {
  OmapHeader header;
  header.count = 1;
  header.entries[0] = {0, 0x800000, 16};  // 4 GiB of data: the sector-mode size field wraps
  const uint64_t huge = uint64_t{1} << 40;
  const OmapPlan tooLarge = PlanOmapPartitions(header, huge);
  EXPECT_EQ(tooLarge.status, PlanStatus::kTooLarge);
  EXPECT_EQ(tooLarge.failedEntry, 0u);

  header.count = 3;  // byte mode: the third address lies past 4 GiB
  header.entries[0] = {0, 1, 0xFFFFFFF0};
  header.entries[1] = {0, 1, 0x20};
  header.entries[2] = {0, 1, 0x20};
  const OmapPlan addressTooFar = PlanOmapPartitions(header, huge);
  EXPECT_EQ(addressTooFar.status, PlanStatus::kTooLarge);
  EXPECT_EQ(addressTooFar.failedEntry, 2u);
}

TEST(OmapFactoryHeader, SizeTextSwitchesToMegabytesAboveThreeMillionSectors) {
  EXPECT_EQ(OmapPartitionSizeText(2048), "Partition size is 1024 KBytes");
  EXPECT_EQ(OmapPartitionSizeText(0), "Partition size is 0 KBytes");
  EXPECT_EQ(OmapPartitionSizeText(3), "Partition size is 1 KBytes");
  EXPECT_EQ(OmapPartitionSizeText(3000000), "Partition size is 1500000 KBytes");
  EXPECT_EQ(OmapPartitionSizeText(3000001), "Partition size is 1464 MBytes");
  EXPECT_EQ(OmapPartitionSizeText(4000000), "Partition size is 1953 MBytes");
  // 32-bit arithmetic: 9000000 x 512 wraps to 313032704 bytes.
  EXPECT_EQ(OmapPartitionSizeText(9000000), "Partition size is 298 MBytes");
}

TEST(OmapFactoryHeader, BuilderFilesReadBackAsBuilt) {
  OmapFactoryBuilder b;
  b.Add({.imageSectors = 3, .areaSize = 10, .seed = 4}).Add({.imageSectors = 1, .areaSize = 2});
  const Bytes file = b.Build();
  ASSERT_EQ(file.size(), kMiB + 4 * 512);
  OmapHeader header;
  ASSERT_EQ(ReadOmapHeader(file, header), HeaderStatus::kOk);
  ASSERT_EQ(header.count, 2u);
  const OmapPlan plan = PlanOmapPartitions(header, file.size());
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  const Bytes first(file.begin() + static_cast<long>(plan.partitions[0].fileOffset),
                    file.begin() + static_cast<long>(plan.partitions[0].fileOffset + 1536));
  EXPECT_EQ(first, b.Image(0));
  EXPECT_EQ(ReadOmapHeader(OmapFactoryBuilder(b).CutAt(8000).Build(), header),
            HeaderStatus::kShortRecords);
  EXPECT_EQ(ReadOmapHeader(OmapFactoryBuilder(b).Magic(0xAA55A5A4).Build(), header),
            HeaderStatus::kBadMagic);
}

}  // namespace
