// SHA-256 against the FIPS 180-4 examples, and fed in every way a reading loop may feed it.

#include "corvane/protocol/sha256.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include <string>

#include "protocol/sha256_blocks.h"

namespace {

// The processor's SHA instructions where it has them, and the portable loop: both must agree.
class Sha256Both : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { sha256::detail::AllowAcceleration(GetParam()); }
  void TearDown() override { sha256::detail::AllowAcceleration(true); }
};

std::string HexOf(const std::string& text) {
  return sha256::Hex(sha256::Of(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST_P(Sha256Both, TheStandardsExamples) {
  EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the block, so the padding takes a second one.
  EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(
      HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklm"
            "nopqrlmnopqrsmnopqrstnopqrstu"),
      "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

// A million "a" in pieces of 1,000 and 7 bytes: the pieces never line up with the blocks.
TEST_P(Sha256Both, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  const std::string piece(1000, 'a');
  sha256::Hasher thousands, sevens;
  for (int i = 0; i < 1000; ++i) {
    thousands.Update(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
  }
  for (int i = 0; i < 1000000 / 7; ++i) {
    sevens.Update(reinterpret_cast<const uint8_t*>(piece.data()), 7);
  }
  sevens.Update(reinterpret_cast<const uint8_t*>(piece.data()), 1000000 % 7);
  EXPECT_EQ(thousands.Length(), 1000000u);
  const std::string million = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(sha256::Hex(thousands.Finish()), million);
  EXPECT_EQ(sha256::Hex(sevens.Finish()), million);
  EXPECT_EQ(sha256::Hex(thousands.Finish()), HexOf(""));  // a finished hasher starts again
}

// Every length around the block and padding boundaries, and a large odd one, against OpenSSL.
TEST_P(Sha256Both, AgreesWithOpenSslAtEveryBoundary) {
  std::vector<uint8_t> data(100003);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
  std::vector<size_t> lengths = {data.size()};
  for (size_t n = 0; n <= 130; ++n) lengths.push_back(n);
  for (const size_t n : lengths) {
    unsigned char theirs[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    ASSERT_EQ(EVP_Digest(data.data(), n, theirs, &size, EVP_sha256(), nullptr), 1);
    const sha256::Digest ours = sha256::Of(data.data(), n);
    ASSERT_EQ(size, ours.size());
    EXPECT_EQ(std::memcmp(ours.data(), theirs, size), 0) << n << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Sha256, Sha256Both, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "ProcessorInstructions" : "PortableLoop";
                         });

}  // namespace
