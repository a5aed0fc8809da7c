#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/protocol/packets.h"

// What the phone-control steps (phone_control.cpp) keep: the phone's factory answer.
struct PhoneControlState {
  static constexpr size_t kFactoryDataSize = 96;
  prot_rsp_t factoryRsp{};                     // filled by ExtractFactoryInfo
  uint8_t factoryData[kFactoryDataSize] = {};  // the whole factory answer, zero after its end
};
