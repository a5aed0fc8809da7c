#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the Infineon steps (infineon.cpp) keep between calls: the parts cut from the last
// firmware image and the blocks the security steps send.
struct InfineonState {
  static constexpr size_t kBootInfoSize = 172;
  static constexpr size_t kSecuritySize = 2048;
  static constexpr size_t kFlashAddressOffset = 1920;  // in the security block
  static constexpr size_t kCodeDescWords = 7;          // 28 bytes; word 4 = code length
  static constexpr size_t kLoaderDescWords = 5;        // 20 bytes; word 2 = size, word 4 = offset

  uint32_t codeDataOffset = 0;             // of the code in the image
  uint8_t bootInfo[kBootInfoSize] = {};    // payload of the flash-ID command
  uint8_t security[kSecuritySize] = {};    // payload of start B; flash address at 1920
  uint8_t startReq[kSecuritySize] = {};    // payload of start A
  uint32_t codeDesc[kCodeDescWords] = {};  // word 4 counts down as code is sent
  std::vector<uint8_t> psiImage;           // PSI cut from the image
  std::vector<uint8_t> eblImage;           // EBL cut from the image
  uint32_t psiDesc[kLoaderDescWords] = {};
  uint32_t eblDesc[kLoaderDescWords] = {};
};
