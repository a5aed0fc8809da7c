// The simulated OMAP download agent on its own: what it takes, what it refuses, where data go.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "flash/boot_header.h"
#include "sim/builders/ap_builders.h"
#include "sim/omap_agent.h"

namespace {

using phonesim::OmapAgent;
using phonesim::Packet;
using phonesim::Reply;
using Bytes = std::vector<uint8_t>;

Packet Request(const BootHeader& h, size_t length, Bytes payload = {}) {
  Packet p;
  p.checkOk = true;
  p.body.assign(h.bytes.begin(), h.bytes.begin() + static_cast<long>(length));
  p.payload = std::move(payload);
  return p;
}

Packet Start() { return Request(BootHeader(0x01), 14); }

Packet Erase(uint32_t start, uint32_t length) {
  BootHeader h(0x04);
  h.U32(4, start).U32(8, length);
  return Request(h, 16);
}

Packet Announce(uint8_t id, uint32_t address, uint32_t size) {
  BootHeader h(0x06);
  h.Sub(id).U32(2, address).U32(6, size);
  return Request(h, 14);
}

Packet Block(uint8_t id, const Bytes& data) {
  BootHeader h(0x02);
  h.Sub(id).U32(8, static_cast<uint32_t>(data.size()));
  return Request(h, 16, data);
}

bool Acked(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x50}; }
bool Refused(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x51}; }

TEST(OmapAgent, PayloadFollowsOnlyDataBlocksWithTheirLongHeader) {
  OmapAgent agent;
  EXPECT_EQ(agent.PayloadLength(Block(0, Bytes(700)).body), 700u);
  EXPECT_EQ(agent.PayloadLength(Request(BootHeader(0x02).U32(8, 700), 14).body), 0u);
  EXPECT_EQ(agent.PayloadLength(Erase(0, 700).body), 0u);
  EXPECT_EQ(agent.PayloadLength(Announce(0, 0, 700).body), 0u);
}

TEST(OmapAgent, NothingIsTakenBeforeTheStart) {
  OmapAgent agent;
  EXPECT_TRUE(Refused(agent.Answer(Erase(0, 512))));
  EXPECT_TRUE(Refused(agent.Answer(Announce(0, 0, 512))));
  EXPECT_TRUE(Refused(agent.Answer(Block(0, Bytes(512)))));
  EXPECT_EQ(agent.Refused(), 3);
  EXPECT_TRUE(agent.Partitions().empty());
  EXPECT_TRUE(agent.Erases().empty());
  EXPECT_TRUE(Acked(agent.Answer(Start())));
  EXPECT_TRUE(Acked(agent.Answer(Erase(0, 512))));
}

TEST(OmapAgent, DataGoToTheAnnouncedAddressInOrder) {
  OmapAgent agent;
  agent.Answer(Start());
  agent.Emmc().Write(4096 - 1, Bytes{0x11}.data(), 1);
  ASSERT_TRUE(Acked(agent.Answer(Announce(70, 4096, 1024))));
  const Bytes a = phonesim::builders::Pattern(512, 1);
  const Bytes b = phonesim::builders::Pattern(512, 2);
  EXPECT_TRUE(Acked(agent.Answer(Block(70, a))));
  EXPECT_TRUE(Acked(agent.Answer(Block(70, b))));
  Bytes both = a;
  both.insert(both.end(), b.begin(), b.end());
  ASSERT_EQ(agent.Partitions().size(), 1u);
  EXPECT_EQ(agent.Partitions()[0].id, 70);
  EXPECT_EQ(agent.Partitions()[0].address, 4096u);
  EXPECT_EQ(agent.Partitions()[0].data, both);
  EXPECT_EQ(agent.Emmc().Read(4096, 1024), both);
  EXPECT_EQ(agent.Emmc().Read(4095, 1), Bytes{0x11});  // the byte before is untouched
}

TEST(OmapAgent, DataOutOfOrderOrBeyondTheAnnouncementIsRefused) {
  OmapAgent agent;
  agent.Answer(Start());
  EXPECT_TRUE(Refused(agent.Answer(Block(0, Bytes(512)))));  // nothing announced
  ASSERT_TRUE(Acked(agent.Answer(Announce(3, 0, 1000))));
  EXPECT_TRUE(Refused(agent.Answer(Block(4, Bytes(512)))));  // another partition
  Packet shortPayload = Block(3, Bytes(512));
  shortPayload.payload.resize(511);
  EXPECT_TRUE(Refused(agent.Answer(shortPayload)));
  // 1000 announced bytes take 1024: the last block is padded to a whole sector.
  EXPECT_TRUE(Acked(agent.Answer(Block(3, Bytes(1024, 7)))));
  EXPECT_TRUE(Refused(agent.Answer(Block(3, Bytes(1, 7)))));
  EXPECT_EQ(agent.Partitions()[0].received, 1024u);
  EXPECT_EQ(agent.Refused(), 4);
}

TEST(OmapAgent, OneByteMoreThanTheRoundedSizeIsRefused) {
  OmapAgent agent;
  agent.Answer(Start());
  ASSERT_TRUE(Acked(agent.Answer(Announce(0, 0, 1000))));
  EXPECT_TRUE(Refused(agent.Answer(Block(0, Bytes(1025)))));
  EXPECT_EQ(agent.Partitions()[0].received, 0u);
}

TEST(OmapAgent, SizesInSectorsAllowFiveHundredTwelveBytesEach) {
  OmapAgent agent;
  agent.SetSizeUnit(512);
  agent.Answer(Start());
  agent.Answer(Announce(0, 0, 2));
  EXPECT_TRUE(Acked(agent.Answer(Block(0, Bytes(1024)))));
  EXPECT_TRUE(Refused(agent.Answer(Block(0, Bytes(1)))));
}

TEST(OmapAgent, HeadersOfTheWrongLengthAreRefused) {
  OmapAgent agent;
  EXPECT_TRUE(Refused(agent.Answer(Request(BootHeader(0x01), 16))));
  agent.Answer(Start());
  EXPECT_TRUE(Refused(agent.Answer(Request(BootHeader(0x04).U32(8, 512), 14))));
  EXPECT_TRUE(Refused(agent.Answer(Request(BootHeader(0x06).U32(6, 512), 16))));
  agent.Answer(Announce(0, 0, 512));
  EXPECT_TRUE(Refused(agent.Answer(Request(BootHeader(0x02).U32(8, 0), 14))));
}

TEST(OmapAgent, RangesOutsideTheEmmcAreRefused) {
  OmapAgent agent(1u << 20);
  agent.Answer(Start());
  EXPECT_TRUE(Refused(agent.Answer(Erase((1u << 20) - 512, 1024))));
  EXPECT_TRUE(Acked(agent.Answer(Erase((1u << 20) - 512, 512))));
  EXPECT_TRUE(Refused(agent.Answer(Announce(0, (1u << 20) - 512, 1024))));
  EXPECT_TRUE(Refused(agent.Answer(Block(0, Bytes(512)))));  // the refused announcement is closed
  EXPECT_EQ(agent.Erases().size(), 1u);
}

TEST(OmapAgent, EraseResetsTheRangeToErasedBytes) {
  OmapAgent agent;
  agent.Answer(Start());
  agent.Answer(Announce(0, 0, 1024));
  agent.Answer(Block(0, Bytes(1024, 0x33)));
  EXPECT_TRUE(Acked(agent.Answer(Erase(512, 512))));
  EXPECT_EQ(agent.Emmc().Read(0, 1), Bytes{0x33});
  EXPECT_EQ(agent.Emmc().Read(512, 1), Bytes{0xFF});
  ASSERT_EQ(agent.Erases().size(), 1u);
  EXPECT_EQ(agent.Erases()[0].start, 512u);
  EXPECT_EQ(agent.Erases()[0].length, 512u);
}

TEST(OmapAgent, PartitionBytesCanBeLeftToTheEmmcAlone) {
  OmapAgent agent;
  agent.KeepPartitionData(false);
  agent.Answer(Start());
  ASSERT_TRUE(Acked(agent.Answer(Announce(0, 0, 512))));
  EXPECT_TRUE(Acked(agent.Answer(Block(0, Bytes(512, 9)))));
  EXPECT_TRUE(agent.Partitions()[0].data.empty());
  EXPECT_EQ(agent.Partitions()[0].received, 512u);
  EXPECT_EQ(agent.Emmc().Read(0, 512), Bytes(512, 9));
}

}  // namespace
