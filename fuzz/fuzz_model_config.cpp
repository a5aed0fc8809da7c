// The model's partition-table parse on arbitrary configuration text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "plugin/model_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(4 + size);
  bytes::StoreLe32(image.data(), static_cast<uint32_t>(size));
  std::copy(data, data + size, image.begin() + 4);
  CModelParser parser;
  std::string error;
  if (!parser.Parse(image.data(), &error)) return 0;
  // Ranges are consecutive and every look-up answers within the table.
  uint32_t start = 0;
  for (size_t i = 0; i < parser.Partitions().size(); ++i) {
    const auto range = parser.ByIndex(i);
    if (!range || range->start != start) std::abort();
    start += range->size;
    if (parser.Partitions()[i].name.size() > CModelParser::kMaxName) std::abort();
  }
  if (parser.ByIndex(parser.Partitions().size())) std::abort();
  if (parser.FirstDevicePartitions() > parser.Partitions().size()) std::abort();
  return 0;
}
