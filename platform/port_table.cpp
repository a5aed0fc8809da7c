// Windows's COM port names, read the same way on every system so that the rules are tested
// everywhere; port_table_win32.cpp makes them the port table.

#include <cctype>

#include "corvane/platform/port_table.h"

namespace platform {
namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";

bool SameLetters(const std::string& text, size_t at, const char* word) {
  for (size_t i = 0; word[i] != '\0'; ++i) {
    if (at + i >= text.size() ||
        std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

uint8_t ComPortNumber(const std::string& name) {
  const size_t start = name.rfind(kDevicePrefix, 0) == 0 ? 4 : 0;
  if (!SameLetters(name, start, "COM")) return 0;
  const std::string digits = name.substr(start + 3);
  // "COM012" is no name of COM12: Windows matches the number's text.
  if (digits.empty() || digits.size() > 3 || digits[0] == '0') return 0;
  unsigned number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number <= 255 ? static_cast<uint8_t>(number) : 0;
}

std::string ComPortPath(uint8_t number) {
  return number == 0 ? "" : kDevicePrefix + std::string("COM") + std::to_string(number);
}

}  // namespace platform
