#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "corvane/platform/export.h"

// The compression of whole 64-byte blocks by the processor's own instructions where it has them.
namespace sha256::detail {

// Compresses `blocks` blocks of `data` into `state` and returns true, or returns false (and
// leaves `state` alone) when this processor has no such instructions or they are not allowed.
bool CompressAccelerated(std::array<uint32_t, 8>& state, const uint8_t* data, size_t blocks,
                         const uint32_t* roundConstants);

// Tests and benchmarks compare both ways; on unless turned off.
CORVANE_API void AllowAcceleration(bool allow);

}  // namespace sha256::detail
