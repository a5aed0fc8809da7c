// The settings reader on arbitrary text: whatever it reads, it writes so that reading that again
// gives the same entries (a value never turns into several, nor a line into pieces).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CIniFile first;
  first.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  CIniFile second;
  second.Parse(first.Text());
  if (first.AllEntries() != second.AllEntries()) std::abort();
  return 0;
}
