#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/chip_model.h"
#include "sim/flash_store.h"

namespace phonesim {

// The OMAP download agent that programs the phone's eMMC.
//
//   0x01 start             14 bytes; must come before anything else
//   0x04 erase             16 bytes; start at 4..7, length at 8..11, both in bytes
//   0x06 announce          14 bytes; partition id 1, address 2..5, size 6..9
//   0x02 data block        16 bytes; partition id 1, length 8..11, that many payload bytes follow
//
// The agent answers 0x50 to acknowledge and 0x51 to refuse: a request before the start, a
// header of the wrong length, data without an announcement or for another partition, a block
// whose payload is not as long as its header says, or more data than announced (rounded up to
// whole 512-byte sectors, as the last block of a partition is). Announced addresses are byte
// addresses in the eMMC; the size unit is the test's to choose, since the factory files state
// sizes in sectors or bytes depending on their table. Each announced partition also keeps the
// bytes it received, so that tests compare them whatever the units made of the eMMC layout.
class OmapAgent : public ChipModel {
 public:
  static constexpr uint8_t kStart = 0x01;
  static constexpr uint8_t kDataBlock = 0x02;
  static constexpr uint8_t kErase = 0x04;
  static constexpr uint8_t kAnnounce = 0x06;
  static constexpr size_t kHeaderLength = 14;
  static constexpr size_t kLongHeaderLength = 16;
  static constexpr uint64_t kDefaultCapacity = uint64_t{8} << 30;

  struct Partition {
    uint8_t id = 0;
    uint32_t address = 0;       // as announced
    uint32_t size = 0;          // as announced
    uint64_t received = 0;      // payload bytes taken
    std::vector<uint8_t> data;  // those bytes, unless the agent was told not to keep them
  };

  struct EraseRequest {
    uint32_t start = 0;
    uint32_t length = 0;
  };

  explicit OmapAgent(uint64_t emmcBytes = kDefaultCapacity) : emmc_(emmcBytes) {}

  // Bytes per unit of the announced size: 1 (bytes, the default) or 512 (sectors).
  void SetSizeUnit(uint32_t bytesPerUnit) { sizeUnit_ = bytesPerUnit; }
  // A benchmark of large partitions keeps only the eMMC, not a second copy per partition.
  void KeepPartitionData(bool keep) { keepData_ = keep; }

  bool Takes(uint8_t command) const override;
  size_t PayloadLength(const std::vector<uint8_t>& header) const override;
  Reply Answer(const Packet& request) override;
  const char* Channel() const override { return "emmc"; }

  FlashStore& Emmc() { return emmc_; }
  const FlashStore& Emmc() const { return emmc_; }
  int Starts() const { return starts_; }
  const std::vector<Partition>& Partitions() const { return partitions_; }
  const std::vector<EraseRequest>& Erases() const { return erases_; }
  // Requests answered with a refusal.
  int Refused() const { return refused_; }

 private:
  Reply Erase(const Packet& request);
  Reply Announce(const Packet& request);
  Reply Data(const Packet& request);
  Reply Refuse();
  uint64_t Allowance(const Partition& p) const;

  FlashStore emmc_;
  uint32_t sizeUnit_ = 1;
  bool keepData_ = true;
  int starts_ = 0;
  bool open_ = false;  // the last announced partition still takes data
  std::vector<Partition> partitions_;
  std::vector<EraseRequest> erases_;
  int refused_ = 0;
};

}  // namespace phonesim
