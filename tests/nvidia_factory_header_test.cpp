// The NVIDIA factory header: reading, the partition plan and its wire fields.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "flash/ap_factory_headers.h"
#include "sim/builders/ap_builders.h"

namespace {

using namespace ap_factory;
using phonesim::builders::NvidiaFactoryBuilder;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMiB = 1u << 20;

// A header written byte by byte, independent of the builder: entry 0 = first word 0x11223344,
// 3 sectors, advance 8; entry 1 absent; entry 2 = 1 sector, advance 4; the rest absent.
Bytes HandWrittenHeader() {
  Bytes h(kNvHeaderSize, 0);
  const uint8_t magic[] = {0xA5, 0xA5, 0x44, 0xEC};
  std::copy(std::begin(magic), std::end(magic), h.begin());
  for (size_t i = 0; i < kNvEntries; ++i) bytes::StoreLe32(&h[8 + 8 * i], kNvAbsent);
  const uint8_t entries[] = {0x44, 0x33, 0x22, 0x11, 3, 0, 0, 0, 0, 0, 0, 0,
                             0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0};
  std::copy(std::begin(entries), std::end(entries), h.begin() + 4);
  h[512 + 4] = 8;
  h[1536 + 4] = 4;
  return h;
}

TEST(NvidiaFactoryHeader, ReadsEntriesAdvanceValuesAndCountsEveryPresentEntry) {
  NvHeader header;
  ASSERT_EQ(ReadNvHeader(HandWrittenHeader(), header), HeaderStatus::kOk);
  EXPECT_EQ(header.presentCount, 2);  // the gap does not end the count
  EXPECT_EQ(header.entries[0].firstWord, 0x11223344u);
  EXPECT_EQ(header.entries[0].sectors, 3u);
  EXPECT_EQ(header.entries[0].advance, 8u);
  EXPECT_TRUE(header.entries[0].present);
  EXPECT_FALSE(header.entries[1].present);
  EXPECT_TRUE(header.entries[2].present);
  EXPECT_EQ(header.entries[2].advance, 4u);
}

TEST(NvidiaFactoryHeader, PlanStopsAtTheFirstAbsentEntry) {
  NvHeader header;
  ASSERT_EQ(ReadNvHeader(HandWrittenHeader(), header), HeaderStatus::kOk);
  const NvPlan plan = PlanNvPartitions(header, kMiB + 4 * 512);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  ASSERT_EQ(plan.count, 1u);
  EXPECT_EQ(plan.partitions[0].sizeBytes, 1536u);
  EXPECT_EQ(plan.partitions[0].sectorPosition, 0u);
  EXPECT_EQ(plan.partitions[0].quarterSectors, 0u);
  EXPECT_EQ(plan.partitions[0].fileOffset, kMiB);
}

TEST(NvidiaFactoryHeader, SectorPositionRunsOnByAQuarterOfEachAdvance) {
  NvHeader header;
  for (auto& e : header.entries) e.present = false;
  header.entries[0] = {0, 1100, 4096, true};
  header.entries[1] = {0, 8, 18, true};  // 18 / 4 = 4: the remainder is dropped
  header.entries[2] = {0, 3, 0, true};
  const NvPlan plan = PlanNvPartitions(header, kMiB + (1100 + 8 + 3) * 512);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  ASSERT_EQ(plan.count, 3u);
  EXPECT_EQ(plan.partitions[0].sizeBytes, 563200u);
  EXPECT_EQ(plan.partitions[0].quarterSectors, 275u);
  EXPECT_EQ(plan.partitions[1].sectorPosition, 1024u);
  EXPECT_EQ(plan.partitions[1].quarterSectors, 2u);
  EXPECT_EQ(plan.partitions[1].fileOffset, kMiB + 563200);
  EXPECT_EQ(plan.partitions[2].sectorPosition, 1028u);
  EXPECT_EQ(plan.partitions[2].fileOffset, kMiB + 563200 + 4096);
}

TEST(NvidiaFactoryHeader, WrongMagicAndShortTablesAndRecords) {
  const Bytes h = HandWrittenHeader();
  NvHeader header;
  for (size_t i = 0; i < 4; ++i) {
    Bytes wrong = h;
    wrong[i] ^= 0x01;
    EXPECT_EQ(ReadNvHeader(wrong, header), HeaderStatus::kBadMagic) << i;
  }
  EXPECT_EQ(ReadNvHeader({h.data(), 0}, header), HeaderStatus::kBadMagic);
  EXPECT_EQ(ReadNvHeader({h.data(), 3}, header), HeaderStatus::kBadMagic);
  EXPECT_EQ(ReadNvHeader({h.data(), 4}, header), HeaderStatus::kShortTable);
  EXPECT_EQ(ReadNvHeader({h.data(), 259}, header), HeaderStatus::kShortTable);
  EXPECT_EQ(ReadNvHeader({h.data(), kNvHeaderSize - 1}, header), HeaderStatus::kShortRecords);
  // With the records cut short the table and its count still stand, without advance values.
  EXPECT_EQ(header.presentCount, 2);
  EXPECT_EQ(header.entries[0].sectors, 3u);
  EXPECT_EQ(header.entries[0].advance, 0u);
}

TEST(NvidiaFactoryHeader, DataPastTheEndOfTheFileAndSizesPast4GiBAreRefused) {
  NvHeader header;
  for (auto& e : header.entries) e.present = false;
  header.entries[0] = {0, 2, 0, true};
  header.entries[1] = {0, 2, 0, true};
  const uint64_t exact = kMiB + 4 * 512;
  EXPECT_EQ(PlanNvPartitions(header, exact).status, PlanStatus::kOk);
  const NvPlan shortByOne = PlanNvPartitions(header, exact - 1);
  EXPECT_EQ(shortByOne.status, PlanStatus::kPastEndOfFile);
  EXPECT_EQ(shortByOne.failedEntry, 1u);
  EXPECT_EQ(PlanNvPartitions(header, 100).failedEntry, 0u);

  header.entries[1].sectors = 0x800000;  // 4 GiB: the size field would wrap to 0
  const NvPlan tooLarge = PlanNvPartitions(header, uint64_t{1} << 40);
  EXPECT_EQ(tooLarge.status, PlanStatus::kTooLarge);
  EXPECT_EQ(tooLarge.failedEntry, 1u);
  header.entries[1].sectors = 0x7FFFFF;  // the largest that fits
  EXPECT_EQ(PlanNvPartitions(header, uint64_t{1} << 40).status, PlanStatus::kOk);
}

TEST(NvidiaFactoryHeader, BuilderFilesReadBackAsBuilt) {
  NvidiaFactoryBuilder b;
  b.Add({.sectors = 3, .advance = 8, .firstWord = 9, .seed = 5})
      .Add({.sectors = NvidiaFactoryBuilder::kAbsent})
      .Add({.sectors = 1});
  const Bytes file = b.Build();
  ASSERT_EQ(file.size(), kMiB + 4 * 512);
  NvHeader header;
  ASSERT_EQ(ReadNvHeader(file, header), HeaderStatus::kOk);
  EXPECT_EQ(header.presentCount, 2);
  EXPECT_EQ(header.entries[0].firstWord, 9u);
  EXPECT_EQ(header.entries[0].advance, 8u);
  EXPECT_EQ(Bytes(file.begin() + kMiB, file.begin() + kMiB + 1536), b.Image(0));
  EXPECT_EQ(ReadNvHeader(NvidiaFactoryBuilder(b).CutAt(200).Build(), header),
            HeaderStatus::kShortTable);
  EXPECT_EQ(ReadNvHeader(NvidiaFactoryBuilder(b).Magic({0xA5, 0xA5, 0x44, 0xED}).Build(), header),
            HeaderStatus::kBadMagic);
}

}  // namespace
