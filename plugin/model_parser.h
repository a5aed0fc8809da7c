#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/module/zel_parser_basic.h"

// The model's partition table, read from a configuration image:
//
//   [device]      Total_size = 0x3A6065
//   [partition]   name = boot    size = 0x4000    filename = boot.img
//
// Partitions of all devices get consecutive ranges in file order; only the first device's
// partition count is used by the download.
class CModelParser : public CZelParserBasic {
 public:
  static constexpr size_t kMaxName = 49;
  static constexpr size_t kMaxFileName = 255;

  struct Device {
    uint32_t totalSize = 0;
    bool totalSizeGiven = false;
    uint32_t partitions = 0;
  };
  struct Partition {
    std::string name;
    std::string fileName;
    uint32_t size = 0;
    uint32_t start = 0;
    uint32_t end = 0;
  };
  struct Range {
    uint32_t start = 0;
    uint32_t size = 0;
    size_t index = 0;
  };

  // Total sizes count 512-byte sectors. Above this one the device's partition sizes count bytes;
  // up to it, sectors.
  static constexpr uint32_t kLargeDevice = 3825764;

  // Parses the text of a configuration image (32-bit byte count, then the text). Returns false
  // for a text with an error token, a partition before any device, or a partition whose range
  // the phone cannot be addressed with (past 32 bits, or past its device's given total size);
  // `error` then says why.
  bool Parse(const uint8_t* image, std::string* error = nullptr);
  void Release();

  const std::vector<Device>& Devices() const { return devices_; }
  const std::vector<Partition>& Partitions() const { return partitions_; }
  // The first device's partition count (0 without a device).
  uint32_t FirstDevicePartitions() const;
  // The first device's total size (0 without a device).
  uint32_t FirstDeviceTotalSize() const;
  // Whether partition sizes count bytes (1) or 512-byte sectors (0), from the first device.
  int SizeUnit() const { return FirstDeviceTotalSize() > kLargeDevice ? 1 : 0; }

  std::optional<Range> ByIndex(size_t index) const;
  std::optional<Range> ByName(const std::string& name) const;
  std::optional<Range> ByFileName(const std::string& fileName) const;
  std::string FileNameAt(size_t index) const;

 private:
  enum class Open { kNothing, kDevice, kPartition };

  bool Apply(E_TOKEN_TYPE type, const char* name, const char* value, std::string* error);
  void AssignRanges();
  bool CheckRanges(std::string* error) const;

  std::vector<Device> devices_;
  std::vector<Partition> partitions_;
  Open open_ = Open::kNothing;
};
