#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "corvane/platform/byte_order.h"

// The boot loader's request header: 14 bytes (16 for the OMAP erase and data-block commands),
// little-endian, unused bytes 0. Byte 0 is the command code.
struct BootHeader {
  static constexpr size_t kLength = 14;
  static constexpr size_t kLongLength = 16;

  explicit BootHeader(uint8_t command) { bytes[0] = command; }

  BootHeader& Sub(uint8_t value) {
    bytes[1] = value;
    return *this;
  }
  BootHeader& U16(size_t offset, uint16_t value) {
    bytes::StoreLe16(&bytes[offset], value);
    return *this;
  }
  BootHeader& U32(size_t offset, uint32_t value) {
    bytes::StoreLe32(&bytes[offset], value);
    return *this;
  }
  // The length of the payload that follows (bytes 6..9).
  BootHeader& PayloadLength(uint32_t value) { return U32(6, value); }

  const uint8_t* data() const { return bytes.data(); }

  std::array<uint8_t, kLongLength> bytes{};
};

// Boot-loader command codes.
namespace boot_cmd {
constexpr uint8_t kOmapFlashStart = 0x01;
constexpr uint8_t kOmapDataBlock = 0x02;
constexpr uint8_t kOmapErase = 0x04;
constexpr uint8_t kMemoryRead = 0x05;
constexpr uint8_t kOmapAnnounce = 0x06;
constexpr uint8_t kMemoryReadSetup = 0x08;
constexpr uint8_t kNormalReset = 0x22;
constexpr uint8_t kPreReset = 0x24;
constexpr uint8_t kCpUsbSwitch = 0x25;
constexpr uint8_t kIfxErase = 0x60;
constexpr uint8_t kIfxWrite2k = 0x61;
constexpr uint8_t kIfxPsiRequest = 0x62;
constexpr uint8_t kIfxPsiImage = 0x65;
constexpr uint8_t kIfxEblImage = 0x66;
constexpr uint8_t kIfxCapabilities = 0x67;
constexpr uint8_t kIfxBaud = 0x68;
constexpr uint8_t kIfxFlashId = 0x69;
constexpr uint8_t kIfxCfi1 = 0x6A;
constexpr uint8_t kIfxCfi2 = 0x6B;
constexpr uint8_t kIfxStart = 0x6C;
constexpr uint8_t kIfxEraseAll = 0x6D;
constexpr uint8_t kIfxEraseCheck = 0x6E;
constexpr uint8_t kIfxEnd = 0x6F;
constexpr uint8_t kIfxSetAddress = 0x70;
constexpr uint8_t kIfxWrite64k = 0x71;
constexpr uint8_t kFactoryInfo = 0x72;
constexpr uint8_t kBctSetup = 0x80;
constexpr uint8_t kBctDownload = 0x81;
constexpr uint8_t kNvImageBlock = 0x87;
constexpr uint8_t kNvImageStart = 0x88;
constexpr uint8_t kComplete = 0x89;
constexpr uint8_t kNvPartitionStart = 0x8A;
constexpr uint8_t kNvPartitionBlock = 0x8B;
}  // namespace boot_cmd
