#pragma once

#include "corvane/flash/basic_flash.h"

// The model's flash object: the chip procedures plus one enable switch per NAND slot of the
// modem's partition set (all on for this model).
class CModelFlash : public CBasicFlash {
 public:
  static constexpr int kSlots = 8;

  int m_bSlotEnable[kSlots] = {1, 1, 1, 1, 1, 1, 1, 1};
};
