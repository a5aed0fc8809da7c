// The simulated phone's flash memory.

#include <gtest/gtest.h>

#include <vector>

#include "sim/flash_store.h"

namespace {

using phonesim::FlashStore;
using Bytes = std::vector<uint8_t>;

TEST(FlashStore, UnwrittenBytesReadAsErasedAndWritesLandAcrossPages) {
  FlashStore store(1u << 30);
  EXPECT_EQ(store.Read(12345, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  Bytes data(FlashStore::kPageSize + 100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  const uint64_t at = FlashStore::kPageSize - 50;  // straddles three pages
  ASSERT_TRUE(store.Write(at, data.data(), data.size()));
  EXPECT_EQ(store.Read(at, data.size()), data);
  EXPECT_EQ(store.Read(at - 1, 1), Bytes{0xFF});
  EXPECT_EQ(store.BytesWritten(), data.size());
}

TEST(FlashStore, EraseRestoresTheErasedValueInPartAndWholePages) {
  FlashStore store(4 * FlashStore::kPageSize, 0x00);
  Bytes data(3 * FlashStore::kPageSize, 0xAB);
  ASSERT_TRUE(store.Write(0, data.data(), data.size()));
  ASSERT_TRUE(store.Erase(10, 2 * FlashStore::kPageSize));
  EXPECT_EQ(store.Read(9, 2), (Bytes{0xAB, 0x00}));
  EXPECT_EQ(store.Read(10 + 2 * FlashStore::kPageSize - 1, 2), (Bytes{0x00, 0xAB}));
  store.EraseAll();
  EXPECT_EQ(store.Read(0, 1), Bytes{0x00});
}

TEST(FlashStore, RangesOutsideTheStoreAreRefusedWhole) {
  FlashStore store(1000);
  const Bytes data(10, 0x11);
  EXPECT_FALSE(store.Write(995, data.data(), data.size()));
  EXPECT_EQ(store.Read(995, 5), Bytes(5, 0xFF));  // nothing partly written
  EXPECT_FALSE(store.Write(UINT64_MAX - 2, data.data(), data.size()));
  EXPECT_FALSE(store.Erase(500, 501));
  EXPECT_TRUE(store.Write(990, data.data(), data.size()));
  EXPECT_EQ(store.Read(998, 4), (Bytes{0x11, 0x11, 0xFF, 0xFF}));  // reads past the end: erased
}

}  // namespace
