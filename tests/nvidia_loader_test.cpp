// The simulated NVIDIA boot loader on its own: what it takes, what it refuses, where data go.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "flash/boot_header.h"
#include "sim/builders/ap_builders.h"
#include "sim/nvidia_loader.h"

namespace {

using phonesim::NvidiaLoader;
using phonesim::Packet;
using phonesim::Reply;
using Bytes = std::vector<uint8_t>;

constexpr size_t kStaging = 524288;

Packet Request(const BootHeader& h, Bytes payload = {}, size_t length = 14) {
  Packet p;
  p.checkOk = true;
  p.body.assign(h.bytes.begin(), h.bytes.begin() + static_cast<long>(length));
  p.payload = std::move(payload);
  return p;
}

Packet BctSetup(uint8_t selector) { return Request(BootHeader(0x80).Sub(selector)); }

Packet Bct(uint8_t selector, uint32_t parameter, const Bytes& table) {
  BootHeader h(0x81);
  h.Sub(selector).U32(2, parameter).PayloadLength(static_cast<uint32_t>(table.size()));
  return Request(h, table);
}

Packet ImageStart(uint8_t id, uint32_t length) {
  return Request(BootHeader(0x88).Sub(id).U32(2, length));
}

Packet ImageBlock(uint8_t id, const Bytes& data) {
  return Request(BootHeader(0x87).Sub(id).PayloadLength(static_cast<uint32_t>(data.size())), data);
}

Packet PartitionStart(uint32_t bytes, uint32_t position, uint32_t quarter) {
  return Request(BootHeader(0x8A).U32(2, bytes).U32(6, position).U32(10, quarter));
}

// A 0x8B block: `chunk` bytes of data in a staging block whose tail is `tail`.
Packet PartitionBlock(const Bytes& data, uint8_t tail = 0xFF) {
  Bytes staging(kStaging, tail);
  std::copy(data.begin(), data.end(), staging.begin());
  return Request(BootHeader(0x8B).U32(2, static_cast<uint32_t>(data.size())), staging);
}

bool Acked(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x50}; }
bool Refused(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x51}; }

TEST(NvidiaLoader, PayloadLengthsPerCommand) {
  NvidiaLoader loader;
  EXPECT_EQ(loader.PayloadLength(Bct(1, 0, Bytes(300)).body), 300u);
  EXPECT_EQ(loader.PayloadLength(ImageBlock(1, Bytes(4000)).body), 4000u);
  // A partition block always carries the whole staging block, whatever its chunk length.
  EXPECT_EQ(loader.PayloadLength(PartitionBlock(Bytes(3)).body), kStaging);
  EXPECT_EQ(loader.PayloadLength(ImageStart(1, 4000).body), 0u);
  EXPECT_EQ(loader.PayloadLength(PartitionStart(1536, 0, 0).body), 0u);
  EXPECT_EQ(loader.PayloadLength(Request(BootHeader(0x87).PayloadLength(9), {}, 16).body), 0u);
}

TEST(NvidiaLoader, BctNeedsASetupOfItsSelectorAndAtMost10240Bytes) {
  NvidiaLoader loader;
  EXPECT_TRUE(Refused(loader.Answer(Bct(2, 0, Bytes(100)))));
  EXPECT_TRUE(Acked(loader.Answer(BctSetup(2))));
  EXPECT_TRUE(Refused(loader.Answer(Bct(3, 0, Bytes(100)))));
  EXPECT_TRUE(Refused(loader.Answer(Bct(2, 0, Bytes(10241)))));
  const Bytes table = phonesim::builders::Pattern(10240, 3);
  EXPECT_TRUE(Acked(loader.Answer(Bct(2, 0xCAFE, table))));
  EXPECT_EQ(loader.Bct(), table);
  EXPECT_EQ(loader.BctParameter(), 0xCAFEu);
  EXPECT_EQ(loader.Refused(), 3);
}

TEST(NvidiaLoader, ImageBlocksFillTheStartedImageAndNoMore) {
  NvidiaLoader loader;
  EXPECT_TRUE(Refused(loader.Answer(ImageBlock(5, Bytes(10)))));  // nothing started
  ASSERT_TRUE(Acked(loader.Answer(ImageStart(5, 1000))));
  EXPECT_TRUE(Refused(loader.Answer(ImageBlock(6, Bytes(10)))));  // another partition
  const Bytes data = phonesim::builders::Pattern(1000, 8);
  EXPECT_TRUE(Acked(loader.Answer(ImageBlock(5, Bytes(data.begin(), data.begin() + 600)))));
  EXPECT_TRUE(Refused(loader.Answer(ImageBlock(5, Bytes(401)))));
  EXPECT_TRUE(Acked(loader.Answer(ImageBlock(5, Bytes(data.begin() + 600, data.end())))));
  const NvidiaLoader::Partition& image = loader.Images().at(5);
  EXPECT_TRUE(image.Complete());
  EXPECT_EQ(image.blocks, 2);
  EXPECT_EQ(image.Bytes(), data);
}

TEST(NvidiaLoader, ImageBlockWhosePayloadDisagreesWithItsHeaderIsRefused) {
  NvidiaLoader loader;
  loader.Answer(ImageStart(1, 100));
  Packet p = ImageBlock(1, Bytes(50));
  p.payload.resize(49);
  EXPECT_TRUE(Refused(loader.Answer(p)));
  EXPECT_EQ(loader.Images().at(1).received, 0u);
}

TEST(NvidiaLoader, RestartingAnImageReplacesIt) {
  NvidiaLoader loader;
  loader.Answer(ImageStart(1, 4));
  loader.Answer(ImageBlock(1, Bytes(4, 1)));
  ASSERT_TRUE(Acked(loader.Answer(ImageStart(1, 2))));
  EXPECT_EQ(loader.Images().at(1).received, 0u);
  EXPECT_EQ(loader.Images().at(1).length, 2u);
}

TEST(NvidiaLoader, PartitionStartFieldsMustDescribeOneSize) {
  NvidiaLoader loader;
  EXPECT_TRUE(Acked(loader.Answer(PartitionStart(1536, 0, 0))));
  EXPECT_TRUE(Acked(loader.Answer(PartitionStart(4096, 7, 2))));
  EXPECT_TRUE(Refused(loader.Answer(PartitionStart(4096, 7, 3))));
  EXPECT_TRUE(Refused(loader.Answer(PartitionStart(1000, 0, 0))));  // not whole sectors
  ASSERT_EQ(loader.FilePartitions().size(), 2u);
  EXPECT_EQ(loader.FilePartitions()[1].sectorPosition, 7u);
  EXPECT_EQ(loader.FilePartitions()[1].quarterSectors, 2u);
  EXPECT_TRUE(Refused(loader.Answer(PartitionBlock(Bytes(512)))));  // the refused start closed it
}

TEST(NvidiaLoader, PartitionBlocksTakeTheirChunkAndNoticeAStaleTail) {
  NvidiaLoader loader;
  EXPECT_TRUE(Refused(loader.Answer(PartitionBlock(Bytes(512)))));  // nothing started
  ASSERT_TRUE(Acked(loader.Answer(PartitionStart(2048, 0, 1))));
  const Bytes data = phonesim::builders::Pattern(2048, 4);
  EXPECT_TRUE(Acked(loader.Answer(PartitionBlock(Bytes(data.begin(), data.begin() + 1024)))));
  EXPECT_TRUE(Acked(loader.Answer(PartitionBlock(Bytes(data.begin() + 1024, data.end()), 0x00))));
  EXPECT_TRUE(Refused(loader.Answer(PartitionBlock(Bytes(1)))));  // past the announced size
  const NvidiaLoader::Partition& p = loader.FilePartitions()[0];
  EXPECT_EQ(p.Bytes(), data);
  EXPECT_EQ(p.blocks, 2);
  EXPECT_EQ(p.staleTails, 1);
}

TEST(NvidiaLoader, PartitionBlockMustCarryAWholeStagingBlockAndABoundedChunk) {
  NvidiaLoader loader;
  ASSERT_TRUE(Acked(loader.Answer(PartitionStart(1u << 20, 0, 512))));
  Packet shortBlock = PartitionBlock(Bytes(512));
  shortBlock.payload.resize(512);
  EXPECT_TRUE(Refused(loader.Answer(shortBlock)));
  EXPECT_TRUE(
      Refused(loader.Answer(Request(BootHeader(0x8B).U32(2, kStaging + 1), Bytes(kStaging)))));
  EXPECT_TRUE(Refused(loader.Answer(Request(BootHeader(0x8B).U32(2, 0), Bytes(kStaging)))));
  EXPECT_EQ(loader.FilePartitions()[0].received, 0u);
}

TEST(NvidiaLoader, ImagesAndFilePartitionsDoNotTakeEachOthersBlocks) {
  NvidiaLoader loader;
  loader.Answer(ImageStart(1, 512));
  EXPECT_TRUE(Refused(loader.Answer(PartitionBlock(Bytes(512)))));
  loader.Answer(PartitionStart(512, 0, 0));
  EXPECT_TRUE(Refused(loader.Answer(ImageBlock(1, Bytes(512)))));
}

}  // namespace
