#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "sim/chip_model.h"
#include "sim/flash_store.h"

namespace phonesim {

// The NVIDIA boot loader of the application processor (14-byte headers throughout):
//
//   0x80 BCT setup          selector at 1
//   0x81 BCT download       selector at 1, parameter 2..5, BCT length 6..9, then the BCT
//   0x88 image start        partition id at 1, image length 2..5
//   0x87 image block        partition id at 1, block length 6..9, then the block
//   0x8A file partition     size in bytes 2..5, sector position 6..9, sectors / 4 at 10..13
//   0x8B partition block    chunk length 2..5, then always a whole 512 KiB staging block
//
// The loader answers 0x50 to acknowledge and 0x51 to refuse: a BCT without a setup for its
// selector or longer than 10240 bytes, a block that belongs to no started image or partition
// (or to another partition id), a block whose payload is not what its header says, more data
// than announced, or a 0x8A whose fields do not agree. Each image and partition goes into a store
// of its own, which a benchmark can slow down to the rate of a real eMMC.
class NvidiaLoader : public ChipModel {
 public:
  static constexpr uint8_t kBctSetup = 0x80;
  static constexpr uint8_t kBctDownload = 0x81;
  static constexpr uint8_t kImageBlock = 0x87;
  static constexpr uint8_t kImageStart = 0x88;
  static constexpr uint8_t kPartitionStart = 0x8A;
  static constexpr uint8_t kPartitionBlock = 0x8B;
  static constexpr size_t kHeaderLength = 14;
  static constexpr size_t kStagingBlock = 524288;
  static constexpr size_t kMaxBct = 10240;

  struct Partition {
    explicit Partition(uint32_t bytes) : length(bytes), store(bytes) {}

    uint32_t length = 0;          // announced bytes
    uint32_t sectorPosition = 0;  // file partitions: bytes 6..9 of 0x8A
    uint32_t quarterSectors = 0;  // file partitions: bytes 10..13 of 0x8A
    uint64_t received = 0;
    int blocks = 0;
    int staleTails = 0;  // 0x8B blocks whose bytes past the chunk were not all 0xFF
    FlashStore store;

    bool Complete() const { return received == length; }
    std::vector<uint8_t> Bytes() const { return store.Read(0, static_cast<size_t>(received)); }
  };

  bool Takes(uint8_t command) const override;
  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  Reply Answer(const Packet& request) override;
  const char* Channel() const override { return "nvidia"; }

  // Bytes per second for every store, present and future; 0 = unlimited.
  void SetFlashRate(uint64_t bytesPerSecond);

  bool BctSetUp() const { return bctSetUp_; }
  uint8_t BctSelector() const { return bctSelector_; }
  uint32_t BctParameter() const { return bctParameter_; }
  const std::vector<uint8_t>& Bct() const { return bct_; }
  // In-memory images by partition id; a repeated start replaces the image.
  const std::map<uint8_t, Partition>& Images() const { return images_; }
  // Factory file partitions in the order they were started.
  const std::vector<Partition>& FilePartitions() const { return files_; }
  int Refused() const { return refused_; }

 private:
  enum class Open { kNothing, kImage, kFilePartition };

  Reply BctSetup(const Packet& request);
  Reply BctDownload(const Packet& request);
  Reply ImageStart(const Packet& request);
  Reply ImageBlock(const Packet& request);
  Reply PartitionStart(const Packet& request);
  Reply PartitionBlock(const Packet& request);
  Reply Refuse();
  bool Take(Partition& p, const uint8_t* data, uint32_t length);

  bool bctSetUp_ = false;
  uint8_t bctSelector_ = 0;
  uint32_t bctParameter_ = 0;
  std::vector<uint8_t> bct_;
  std::map<uint8_t, Partition> images_;
  std::vector<Partition> files_;
  Open open_ = Open::kNothing;
  uint8_t openImage_ = 0;
  uint64_t rate_ = 0;
  int refused_ = 0;
};

}  // namespace phonesim
