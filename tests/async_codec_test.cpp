// The link's codec: padding, raw payloads, large blocks and oversized frames.

#include <gtest/gtest.h>

#include <vector>

#include "corvane/protocol/async.h"
#include "corvane/protocol/hdlc.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(AsyncCodec, PaddingIsOnlyLeadingFlagsAndTheFrameDecodesBack) {
  CAsync codec;
  for (size_t length = 0; length < 64; ++length) {
    Bytes data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(0x7A + i % 6);  // 7A..7F
    codec.Encode(data.data(), length, true);
    const uint8_t* e = codec.Encoded();
    const size_t n = codec.EncodedLength();
    ASSERT_EQ(n % 4, 0u);
    size_t lead = 0;
    while (e[lead] == 0x7E) ++lead;
    ASSERT_LE(lead, 4u);  // opening flag plus at most three of padding
    ASSERT_TRUE(codec.Decode(e + lead, n - lead - 1)) << length;
    ASSERT_EQ(codec.DecodedCount(), length + 2);
    EXPECT_EQ(Bytes(codec.Decoded(), codec.Decoded() + length), data);
  }
}

TEST(AsyncCodec, PayloadFollowsTheHeaderFrameUnescaped) {
  CAsync codec;
  const Bytes header(14, 0x61);
  const Bytes payload = {0x7E, 0x7D, 0x01};
  codec.Encode(header.data(), header.size(), true);
  const size_t frame = codec.EncodedLength();
  codec.AppendRaw(payload.data(), payload.size());
  ASSERT_EQ(codec.EncodedLength(), frame + payload.size());
  EXPECT_EQ(Bytes(codec.Encoded() + frame, codec.Encoded() + codec.EncodedLength()), payload);
  EXPECT_EQ(codec.Encoded()[frame - 1], 0x7E);
}

TEST(AsyncCodec, RawRequestCarriesItsCheckWithoutFlags) {
  CAsync codec;
  const uint8_t noop = 0x06;
  codec.EncodeRaw(&noop, 1);
  EXPECT_EQ(Bytes(codec.Encoded(), codec.Encoded() + codec.EncodedLength()),
            (Bytes{0x06, 0x4E, 0x95}));
}

TEST(AsyncCodec, BlockOfFlagsLargerThanTheBufferWhenEscapedIsEncodedWhole) {
  CAsync codec;
  const Bytes block(512 * 1024, 0x7E);  // every byte doubles: more than the codec's buffer
  codec.Encode(block.data(), block.size(), true);
  EXPECT_GE(codec.EncodedLength(), 2 * block.size());
  EXPECT_EQ(codec.EncodedLength() % 4, 0u);
  // And a payload appended after such a frame still lands intact.
  const Bytes payload(4096, 0xA5);
  codec.AppendRaw(payload.data(), payload.size());
  EXPECT_EQ(codec.Encoded()[codec.EncodedLength() - 1], 0xA5);
}

TEST(AsyncCodec, FrameLongerThanTheDecodeBufferIsBadNotOverrun) {
  CAsync codec;
  const Bytes huge(CAsync::kBufferSize + 100, 0x11);
  EXPECT_FALSE(codec.Decode(huge.data(), huge.size()));
  // By value: a Windows program that bound the library's constant by reference would import it.
  EXPECT_LE(codec.DecodedCount(), size_t{CAsync::kBufferSize});
}

}  // namespace
