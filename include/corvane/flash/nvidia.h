#pragma once

#include <cstdint>

// What the NVIDIA steps (nvidia.cpp) keep between calls: the partition table of the last factory
// file read.

// One NVIDIA partition of a factory file, as read from its table.
struct nv_partition_t {
  uint32_t firstWord = 0;
  uint32_t sectors = 0;  // 512-byte sectors; 0xFFFFFFFF in the file = no partition
  uint32_t advance = 0;
  int32_t present = 0;
};

struct NvidiaState {
  static constexpr int kPartitions = 32;
  nv_partition_t partTable[kPartitions] = {};
};
