// The simulated phone's receiver, fed directly.

#include <gtest/gtest.h>

#include <vector>

#include "corvane/protocol/hdlc.h"
#include "sim/phone_frame_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;
using phonesim::FrameReader;
using phonesim::Packet;
using phonesim::PacketSizer;

class Sizer : public PacketSizer {
 public:
  size_t payload = 0;
  size_t raw = kNoRaw;
  size_t PayloadLength(const Bytes&) const override { return payload; }
  size_t RawLength(const uint8_t*, size_t) const override { return raw; }
};

Bytes Frame(const Bytes& body) {
  Bytes out(hdlc::MaxFrameSize(body.size()));
  out.resize(hdlc::EncodeFrame(body.data(), body.size(), true, out.data()));
  return out;
}

Bytes WithCheck(Bytes body) {
  const uint16_t fcs = hdlc::FrameCheck(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(fcs));
  body.push_back(static_cast<uint8_t>(fcs >> 8));
  return body;
}

std::vector<Packet> FeedAll(FrameReader& reader, const Bytes& bytes, bool byteByByte = false) {
  std::vector<Packet> out;
  if (byteByByte) {
    for (uint8_t b : bytes) reader.Feed(&b, 1, out);
  } else {
    reader.Feed(bytes.data(), bytes.size(), out);
  }
  return out;
}

TEST(PhoneFrameReader, WakeUpBytesAreDroppedAndTheFrameTaken) {
  Sizer sizer;
  FrameReader reader(sizer);
  Bytes wire = {0x7E, 0x7E, 0x00};
  const Bytes frame = Frame({0x89, 0x7E, 0x00});
  wire.insert(wire.end(), 3, 0x7E);
  wire.insert(wire.end(), frame.begin(), frame.end());
  for (bool byteByByte : {false, true}) {
    const auto packets = FeedAll(reader, wire, byteByByte);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(packets[0].framed);
    EXPECT_TRUE(packets[0].checkOk);
    EXPECT_EQ(packets[0].body, (Bytes{0x89, 0x7E, 0x00}));
  }
}

TEST(PhoneFrameReader, PayloadAfterAHeaderIsCollectedRaw) {
  Sizer sizer;
  sizer.payload = 4;
  FrameReader reader(sizer);
  Bytes wire = Frame({0x61, 0x00});
  const Bytes payload = {0x7E, 0x7D, 0x7E, 0x01};  // raw: flags here are data
  wire.insert(wire.end(), payload.begin(), payload.end());
  const auto packets = FeedAll(reader, wire, true);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].payload, payload);
}

TEST(PhoneFrameReader, BadFrameIsReportedWithoutPayload) {
  Sizer sizer;
  sizer.payload = 4;
  FrameReader reader(sizer);
  Bytes wire = Frame({0x61, 0x00, 0x00});
  wire[2] ^= 0x01;
  const auto packets = FeedAll(reader, wire);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_FALSE(packets[0].checkOk);
  EXPECT_TRUE(packets[0].payload.empty());
}

TEST(PhoneFrameReader, RawRequestsOfKnownLengthOrEndingAtTheirCheck) {
  Sizer sizer;
  sizer.raw = PacketSizer::kUntilCheck;
  FrameReader reader(sizer);
  const Bytes noop = {0x06, 0x4E, 0x95};
  auto packets = FeedAll(reader, noop, true);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_FALSE(packets[0].framed);
  EXPECT_TRUE(packets[0].checkOk);
  EXPECT_EQ(packets[0].body, (Bytes{0x06}));

  sizer.raw = 6;  // a length that the command announces
  const Bytes data = WithCheck({0x41, 0x7E, 0x00, 0x7D});
  packets = FeedAll(reader, data);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_TRUE(packets[0].checkOk);
  EXPECT_EQ(packets[0].body, (Bytes{0x41, 0x7E, 0x00, 0x7D}));
}

TEST(PhoneFrameReader, StrayBytesAreDroppedWhenThePhoneTakesNoRawRequests) {
  Sizer sizer;
  FrameReader reader(sizer);
  Bytes wire = {0x11, 0x22, 0x33};
  const Bytes frame = Frame({0x6F});
  wire.insert(wire.end(), frame.begin(), frame.end());
  const auto packets = FeedAll(reader, wire);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].body, (Bytes{0x6F}));
  EXPECT_EQ(reader.Dropped(), 3u);
}

TEST(PhoneFrameReader, OverlongFrameIsRefusedAndTheNextOneTaken) {
  Sizer sizer;
  FrameReader reader(sizer);
  Bytes wire(1, 0x7E);
  wire.insert(wire.end(), 2 * FrameReader::kMaxPacket + 10, 0x42);
  wire.push_back(0x7E);
  const Bytes frame = Frame({0x6F});
  wire.insert(wire.end(), frame.begin(), frame.end());
  const auto packets = FeedAll(reader, wire);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_FALSE(packets[0].checkOk);
  EXPECT_TRUE(packets[1].checkOk);
}

}  // namespace

namespace {

// The host's wake-up bytes end with a flag that a frame without padding shares as its opening.
TEST(PhoneFrameReader, FrameSharingTheWakeUpBytesClosingFlagIsTaken) {
  Sizer sizer;
  FrameReader reader(sizer);
  Bytes wire = {0x7E, 0x7E, 0x00};
  const Bytes frame = Frame({0x04, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  wire.insert(wire.end(), frame.begin(), frame.end());  // one opening flag only
  const auto packets = FeedAll(reader, wire, true);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].Command(), 0x04);
  EXPECT_TRUE(packets[0].checkOk);
}

}  // namespace
