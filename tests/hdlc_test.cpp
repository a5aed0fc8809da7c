// Wire vectors of the frame codec and the check sequence.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "corvane/protocol/async.h"
#include "corvane/protocol/hdlc.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encoded(const Bytes& data, bool leadingFlag = true) {
  CAsync codec;
  codec.Encode(data.data(), data.size(), leadingFlag);
  return Bytes(codec.Encoded(), codec.Encoded() + codec.EncodedLength());
}

// Bit-at-a-time CRC-16/X-25, the definition the table-driven code must match.
uint16_t ReferenceFcs(const uint8_t* p, size_t n, uint16_t fcs = 0xFFFF) {
  while (n--) {
    fcs ^= *p++;
    for (int i = 0; i < 8; ++i)
      fcs = static_cast<uint16_t>(fcs & 1 ? (fcs >> 1) ^ 0x8408 : fcs >> 1);
  }
  return fcs;
}

TEST(FrameCheckSequence, CheckValueOfTheStandardTestString) {
  const std::string text = "123456789";
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(hdlc::FrameCheck(p, text.size()), 0x906E);
  uint8_t sent[2];
  CAsync::Checksum(p, text.size(), sent);
  EXPECT_EQ(sent[0], 0x6E);  // low byte first
  EXPECT_EQ(sent[1], 0x90);
}

TEST(FrameCheckSequence, ResidueOfDataFollowedByItsCheckIsTheGoodValue) {
  Bytes data = {0x01, 0x7E, 0x7D, 0xFF, 0x00};
  uint8_t fcs[2];
  CAsync::Checksum(data.data(), data.size(), fcs);
  data.push_back(fcs[0]);
  data.push_back(fcs[1]);
  EXPECT_EQ(hdlc::Fcs16(data.data(), data.size()), hdlc::kFcsGood);
}

TEST(FrameCheckSequence, SlicedComputationMatchesBitwiseAtEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  Bytes data(300);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t length = 0; length + offset <= data.size(); length += 7) {
      ASSERT_EQ(hdlc::Fcs16(data.data() + offset, length),
                ReferenceFcs(data.data() + offset, length))
          << "offset " << offset << " length " << length;
    }
  }
  // Continuing a running value gives the same as one pass.
  const uint16_t head = hdlc::Fcs16(data.data(), 101);
  EXPECT_EQ(hdlc::Fcs16(data.data() + 101, 199, head), ReferenceFcs(data.data(), 300));
}

TEST(FrameEncoding, FlagByteIsEscapedAndFramePaddedToEightBytes) {
  EXPECT_EQ(Encoded({0x7E}), (Bytes{0x7E, 0x7E, 0x7E, 0x7D, 0x5E, 0x81, 0x6A, 0x7E}));
}

TEST(FrameEncoding, SingleByteFramePaddedInFront) {
  EXPECT_EQ(Encoded({0x0C}), (Bytes{0x7E, 0x7E, 0x7E, 0x7E, 0x0C, 0x14, 0x3A, 0x7E}));
}

TEST(FrameEncoding, FourteenByteHeaderEncodesToTwentyBytes) {
  Bytes header(14, 0);
  header[0] = 0x80;
  Bytes expected = {0x7E, 0x7E, 0x7E, 0x80};
  expected.insert(expected.end(), 13, 0x00);
  expected.insert(expected.end(), {0xB4, 0x2F, 0x7E});
  EXPECT_EQ(Encoded(header), expected);
}

TEST(FrameEncoding, EscapeByteIsEscapedAndItsXorPartnerIsNot) {
  const Bytes e7d = Encoded({0x7D});
  ASSERT_GE(e7d.size(), 6u);
  EXPECT_EQ(e7d[e7d.size() - 5], 0x7D);
  EXPECT_EQ(e7d[e7d.size() - 4], 0x5D);
  const Bytes e5e = Encoded({0x5E});
  EXPECT_EQ(std::count(e5e.begin(), e5e.end(), 0x7D), 0);
  EXPECT_NE(std::find(e5e.begin(), e5e.end(), 0x5E), e5e.end());
}

// Frames seen from other tools that speak the same framing to Qualcomm phones.
TEST(FrameEncoding, MatchesFramesCapturedFromDiagTools) {
  // DIAG version request: 00 78 F0 7E (no opening flag).
  uint8_t out[hdlc::MaxFrameSize(1)];
  const uint8_t version = 0x00;
  const size_t n = hdlc::EncodeFrame(&version, 1, false, out);
  EXPECT_EQ(Bytes(out, out + n), (Bytes{0x00, 0x78, 0xF0, 0x7E}));
  // DLOAD no-op: 7E 06 4E 95 7E.
  const uint8_t noop = 0x06;
  const size_t m = hdlc::EncodeFrame(&noop, 1, true, out);
  EXPECT_EQ(Bytes(out, out + m), (Bytes{0x7E, 0x06, 0x4E, 0x95, 0x7E}));
}

TEST(FrameEncoding, WithoutLeadingFlagStillPadsToWholeWords) {
  for (size_t length = 0; length < 40; ++length) {
    Bytes data(length, static_cast<uint8_t>(length * 37));
    const Bytes e = Encoded(data, false);
    EXPECT_EQ(e.size() % 4, 0u) << length;
    EXPECT_EQ(e.back(), 0x7E);
  }
}

TEST(FrameDecoding, RoundTripsEveryByteValue) {
  Bytes data(256);
  for (int i = 0; i < 256; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  Bytes frame(hdlc::MaxFrameSize(data.size()));
  const size_t n = hdlc::EncodeFrame(data.data(), data.size(), true, frame.data());
  Bytes out(600);
  // Strip the two flags before decoding.
  const hdlc::DecodeResult r = hdlc::DecodeFrame(frame.data() + 1, n - 2, out.data(), out.size());
  ASSERT_TRUE(r.good);
  ASSERT_EQ(r.length, data.size() + 2);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 256), data);
}

TEST(FrameDecoding, RefusesWrongCheckDanglingEscapeRuntsAndOverflow) {
  Bytes out(16);
  const Bytes good = {0x0C, 0x14, 0x3A};
  EXPECT_TRUE(hdlc::DecodeFrame(good.data(), good.size(), out.data(), out.size()).good);
  const Bytes wrong = {0x0C, 0x14, 0x3B};
  EXPECT_FALSE(hdlc::DecodeFrame(wrong.data(), wrong.size(), out.data(), out.size()).good);
  const Bytes dangling = {0x0C, 0x14, 0x3A, 0x7D};
  EXPECT_FALSE(hdlc::DecodeFrame(dangling.data(), dangling.size(), out.data(), out.size()).good);
  const Bytes runt = {0x00};
  EXPECT_FALSE(hdlc::DecodeFrame(runt.data(), runt.size(), out.data(), out.size()).good);
  const hdlc::DecodeResult tooBig = hdlc::DecodeFrame(good.data(), good.size(), out.data(), 2);
  EXPECT_FALSE(tooBig.good);
  EXPECT_TRUE(tooBig.overflow);
  EXPECT_EQ(tooBig.length, 2u);
}

}  // namespace
