// The simulated Infineon modem, fed requests directly: stage order, bracket order, block checks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "sim/builders/infineon_builders.h"
#include "sim/infineon_modem.h"

namespace {

using Bytes = std::vector<uint8_t>;
using phonesim::InfineonModem;
using phonesim::Packet;
using phonesim::Reply;
using Stage = InfineonModem::Stage;

Bytes Header(uint8_t command, uint32_t payloadLength = 0) {
  Bytes h(14, 0);
  h[0] = command;
  bytes::StoreLe32(h.data() + 6, payloadLength);
  return h;
}

void Put16(Bytes& h, size_t at, uint32_t v) {
  h[at] = static_cast<uint8_t>(v);
  h[at + 1] = static_cast<uint8_t>(v >> 8);
}

Packet Request(Bytes header, Bytes payload = {}) {
  Packet p;
  p.body = std::move(header);
  p.payload = std::move(payload);
  p.checkOk = true;
  return p;
}

Packet WithPayload(uint8_t command, Bytes payload) {
  const auto n = static_cast<uint32_t>(payload.size());
  return Request(Header(command, n), std::move(payload));
}

Packet SetAddress(uint32_t address) {
  Bytes h = Header(0x70);
  bytes::StoreLe32(h.data() + 2, address);
  return Request(h);
}

// A 0x61 block as the host builds it: data, 0xFF padding to 2048, check value and data length.
Packet Block(const Bytes& data) {
  Bytes payload = data;
  payload.resize(2048, 0xFF);
  uint32_t sum = 0;
  for (uint8_t b : data) sum += b;
  Bytes h = Header(0x61, 2048);
  Put16(h, 2, sum + static_cast<uint32_t>(data.size()) + 2048 + 4);
  Put16(h, 4, static_cast<uint32_t>(data.size()));
  return Request(h, payload);
}

bool Acked(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x50}; }
bool Refused(const Reply& r) { return r.kind == Reply::Kind::kFrame && r.data == Bytes{0x51}; }

class Modem : public ::testing::Test {
 protected:
  Reply Send(const Packet& p) { return modem.Answer(p); }
  // Refused, and for the stated reason.
  void ExpectRefused(const Packet& p, const std::string& why) {
    const unsigned before = modem.State().refusals;
    EXPECT_TRUE(Refused(Send(p)));
    EXPECT_EQ(modem.State().refusals, before + 1);
    EXPECT_EQ(modem.State().lastRefusal, why);
  }
  void BootToEbl() {
    ASSERT_TRUE(Acked(Send(Request(Header(0x62)))));
    ASSERT_TRUE(Acked(Send(WithPayload(0x65, Bytes(100, 1)))));
    ASSERT_TRUE(Acked(Send(WithPayload(0x66, Bytes(200, 2)))));
    ASSERT_TRUE(Acked(Send(WithPayload(0x69, Bytes(172, 3)))));
  }
  void OpenAt(uint32_t address) {
    BootToEbl();
    ASSERT_TRUE(Acked(Send(WithPayload(0x6C, Bytes(2048, 4)))));
    ASSERT_TRUE(Acked(Send(SetAddress(address))));
  }

  InfineonModem modem{1 << 20};
};

TEST_F(Modem, TakesItsCommandsAndSizesTheirPayloadsFromTheHeader) {
  for (int c = 0; c < 256; ++c) {
    const bool ifx = c == 0x60 || c == 0x61 || c == 0x62 || (c >= 0x65 && c <= 0x71);
    EXPECT_EQ(modem.Takes(static_cast<uint8_t>(c)), ifx) << c;
  }
  EXPECT_EQ(modem.PayloadLength(Header(0x61, 2048)), 2048u);
  EXPECT_EQ(modem.PayloadLength(Header(0x61, 100)), 2048u);  // the EBL reads whole blocks
  EXPECT_EQ(modem.PayloadLength(Header(0x71, 100)), 100u);
  EXPECT_EQ(modem.PayloadLength(Header(0x65, 0x123456)), 0x123456u);
  EXPECT_EQ(modem.PayloadLength(Header(0x6F, 99)), 0u);  // end carries nothing
  Bytes address = SetAddress(0xFFFFFFFF).body;
  EXPECT_EQ(modem.PayloadLength(address), 0u);
  EXPECT_EQ(modem.PayloadLength(Bytes{0x61, 0, 0, 0, 0, 0, 0, 8}), 0u);  // short header
}

TEST_F(Modem, BootChainTakesEachLoaderOnceAndInOrder) {
  ExpectRefused(WithPayload(0x65, Bytes(10, 1)), "PSI without a PSI request");
  ExpectRefused(WithPayload(0x66, Bytes(10, 1)), "EBL while the PSI is not running");
  ExpectRefused(Request(Header(0x67)), "the EBL is not running");
  EXPECT_TRUE(Acked(Send(Request(Header(0x62)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x62)))));  // asking again is harmless
  ExpectRefused(WithPayload(0x66, Bytes(10, 1)), "EBL while the PSI is not running");
  ExpectRefused(WithPayload(0x65, {}), "empty PSI");
  EXPECT_TRUE(Acked(Send(WithPayload(0x65, Bytes(10, 7)))));
  EXPECT_EQ(modem.State().stage, Stage::kPsi);
  ExpectRefused(Request(Header(0x62)), "PSI request after the boot ROM handed over");
  ExpectRefused(Request(Header(0x6A)), "the EBL is not running");
  EXPECT_TRUE(Acked(Send(WithPayload(0x66, Bytes(20, 8)))));
  EXPECT_EQ(modem.State().stage, Stage::kEbl);
  ExpectRefused(WithPayload(0x65, Bytes(10, 7)), "PSI without a PSI request");
  ExpectRefused(WithPayload(0x66, Bytes(20, 8)), "EBL while the PSI is not running");
  EXPECT_EQ(modem.Psi(), Bytes(10, 7));
  EXPECT_EQ(modem.Ebl(), Bytes(20, 8));
  ExpectRefused(Request(Bytes{0x67, 0, 0}), "header shorter than 14 bytes");
}

TEST_F(Modem, EblTakesItsConfigurationAndNeedsTheFlashIdBeforeFlashCommands) {
  ASSERT_TRUE(Acked(Send(Request(Header(0x62)))));
  ASSERT_TRUE(Acked(Send(WithPayload(0x65, Bytes(1, 1)))));
  ASSERT_TRUE(Acked(Send(WithPayload(0x66, Bytes(1, 1)))));
  ExpectRefused(WithPayload(0x6C, Bytes(2048, 0)), "flash command before the flash ID");
  EXPECT_TRUE(Acked(Send(Request(Header(0x67)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x68)))));
  ExpectRefused(WithPayload(0x69, Bytes(171, 3)), "flash ID is not 172 bytes");
  ExpectRefused(WithPayload(0x69, Bytes(173, 3)), "flash ID is not 172 bytes");
  EXPECT_FALSE(modem.State().flashIdSet);
  EXPECT_TRUE(Acked(Send(WithPayload(0x69, Bytes(172, 3)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x6A)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x6B)))));
  const auto& s = modem.State();
  EXPECT_TRUE(s.capabilities && s.flashIdSet && s.cfi1 && s.cfi2);
  EXPECT_EQ(s.baud, 3000000u);
  EXPECT_EQ(modem.BootInfo(), Bytes(172, 3));
}

TEST_F(Modem, FlashCommandsKeepToTheStartEndBracket) {
  BootToEbl();
  for (uint8_t c : std::initializer_list<uint8_t>{0x6D, 0x60, 0x6E, 0x6F}) {
    ExpectRefused(Request(Header(c)), "flash command outside a start ... end bracket");
  }
  ExpectRefused(SetAddress(0), "flash command outside a start ... end bracket");
  ExpectRefused(Block(Bytes(10, 1)), "flash command outside a start ... end bracket");
  ExpectRefused(WithPayload(0x6C, Bytes(2047, 4)), "start block is not 2048 bytes");
  ASSERT_TRUE(Acked(Send(WithPayload(0x6C, Bytes(2048, 4)))));
  EXPECT_EQ(modem.StartBlock(), Bytes(2048, 4));
  ExpectRefused(WithPayload(0x6C, Bytes(2048, 4)), "start inside a start ... end bracket");
  ExpectRefused(Request(Header(0x6E)), "erase check without an erase");
  ExpectRefused(Block(Bytes(10, 1)), "block before the flash address");
  ExpectRefused(WithPayload(0x71, Bytes(10, 1)), "block before the flash address");
  EXPECT_TRUE(Acked(Send(Request(Header(0x60)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x6E)))));
  EXPECT_TRUE(Acked(Send(Request(Header(0x6F)))));
  // A new bracket needs its own erase and address.
  ASSERT_TRUE(Acked(Send(WithPayload(0x6C, Bytes(2048, 5)))));
  ExpectRefused(Request(Header(0x6E)), "erase check without an erase");
  ExpectRefused(Block(Bytes(10, 1)), "block before the flash address");
  const auto& s = modem.State();
  EXPECT_EQ(s.starts, 2u);
  EXPECT_EQ(s.erases, 1u);
  EXPECT_EQ(s.eraseChecks, 1u);
  EXPECT_EQ(s.ends, 1u);
  EXPECT_EQ(s.blocks2k, 0u);
}

TEST_F(Modem, BlocksAreWrittenAtTheAddressWhichAdvances) {
  OpenAt(0x1000);
  const Bytes full = phonesim::builders::Pattern(2048, 1);
  const Bytes tail = phonesim::builders::Pattern(5, 2);
  const Bytes big = phonesim::builders::Pattern(65536, 3);
  EXPECT_TRUE(Acked(Send(Block(full))));
  EXPECT_TRUE(Acked(Send(Block(tail))));
  EXPECT_EQ(modem.State().address, 0x1000u + 2053);
  EXPECT_TRUE(Acked(Send(WithPayload(0x71, big))));
  EXPECT_TRUE(Acked(Send(WithPayload(0x71, Bytes{0x42}))));
  EXPECT_EQ(modem.Store().Read(0x1000, 2048), full);
  EXPECT_EQ(modem.Store().Read(0x1000 + 2048, 5), tail);
  EXPECT_EQ(modem.Store().Read(0x1000 + 2053, 65536), big);
  EXPECT_EQ(modem.Store().Read(0x1000 + 2053 + 65536, 2), (Bytes{0x42, 0xFF}));
  EXPECT_EQ(modem.Store().Read(0x0FFF, 1), Bytes{0xFF});
  EXPECT_EQ(modem.State().blocks2k, 2u);
  EXPECT_EQ(modem.State().blocks64k, 2u);
}

TEST_F(Modem, BadBlocksAreRefusedAndWriteNothing) {
  OpenAt(0);
  const Bytes data = phonesim::builders::Pattern(100, 9);
  Packet wrongCheck = Block(data);
  wrongCheck.body[2] ^= 1;
  ExpectRefused(wrongCheck, "0x61 check value");
  Packet dirtyPadding = Block(data);
  dirtyPadding.payload[2047] = 0xFE;
  ExpectRefused(dirtyPadding, "0x61 padding is not 0xFF");
  Packet noData = Block(data);
  Put16(noData.body, 4, 0);
  ExpectRefused(noData, "0x61 data length out of range");
  Packet tooLong = Block(Bytes(2048, 0));
  Put16(tooLong.body, 4, 2049);
  ExpectRefused(tooLong, "0x61 data length out of range");
  Packet shortPayload = Block(data);
  shortPayload.payload.resize(2047);
  ExpectRefused(shortPayload, "0x61 block is not 2048 bytes");
  Packet claimsLess = Block(data);
  claimsLess.body[7] = 0x07;  // bytes 6..9 = 0x07xx instead of 2048
  ExpectRefused(claimsLess, "0x61 block is not 2048 bytes");
  ExpectRefused(WithPayload(0x71, Bytes(65537, 1)), "0x71 block length out of range");
  Packet lies71 = WithPayload(0x71, Bytes(10, 1));
  lies71.body[6] = 11;
  ExpectRefused(lies71, "0x71 block length out of range");
  EXPECT_EQ(modem.Store().BytesWritten(), 0u);
  EXPECT_EQ(modem.State().address, 0u);
}

TEST_F(Modem, CheckValueWrapsAtSixteenBits) {
  OpenAt(0);
  Packet ff = Block(Bytes(2048, 0xFF));
  EXPECT_EQ(ff.body[2] | ff.body[3] << 8, (2048 * 255 + 4100) % 65536);
  EXPECT_TRUE(Acked(Send(ff)));
}

TEST_F(Modem, WritesBeyondTheFlashAreRefusedAndEraseAllClearsIt) {
  OpenAt((1 << 20) - 100);
  ExpectRefused(Block(Bytes(101, 1)), "write beyond the flash");
  EXPECT_TRUE(Acked(Send(Block(Bytes(100, 1)))));
  EXPECT_EQ(modem.Store().Read((1 << 20) - 1, 1), Bytes{1});
  EXPECT_TRUE(Acked(Send(Request(Header(0x6D)))));
  EXPECT_EQ(modem.Store().Read((1 << 20) - 1, 1), Bytes{0xFF});
  EXPECT_TRUE(Acked(Send(Request(Header(0x6E)))));
}

}  // namespace
