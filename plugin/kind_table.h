#pragma once

#include <array>
#include <cstdint>
#include <string>

// The kinds of file of the model, in the order that decides them: the first row whose text a
// name contains gives its download order, the last such row its type text.
namespace kinds {

struct Kind {
  uint8_t code;
  const char* match;
};

constexpr uint8_t kPsi = 0x20;
constexpr uint8_t kSlb = 0x21;
constexpr uint8_t kCode = 0x22;
constexpr uint8_t kAeneas = 0x23;
constexpr uint8_t kUa = 0x24;
constexpr uint8_t kBct = 0x25;
constexpr uint8_t kCfg = 0x26;
constexpr uint8_t kXLoad = 0x40;
constexpr uint8_t kUBoot = 0x41;
constexpr uint8_t kNone = 255;

constexpr std::array<Kind, 9> kTable = {{
    {kPsi, "psi"},
    {kSlb, "slb"},
    {kCode, "V618"},
    {kAeneas, "AENEAS"},
    {kUa, "UA.fls"},
    {kBct, "bct"},
    {kCfg, "cfg"},
    {kXLoad, "x-load"},
    {kUBoot, "u-boot"},
}};

// The file name endings the model takes (case-sensitive).
constexpr std::array<const char*, 10> kExtensions = {"bin", "fls", "img", "ift", "age",
                                                     "ery", "cfg", "bct", "xt3", "mmc"};

// The code of the first row whose text occurs in `text`, kNone when none does.
inline uint8_t FirstMatch(const std::string& text) {
  for (const Kind& k : kTable) {
    if (text.find(k.match) != std::string::npos) return k.code;
  }
  return kNone;
}

// The text of the last row that occurs in `text`, "Unknown" when none does.
inline std::string LastMatchText(const std::string& text) {
  std::string result = "Unknown";
  for (const Kind& k : kTable) {
    if (text.find(k.match) != std::string::npos) result = k.match;
  }
  return result;
}

// The last three characters (the whole text when it is shorter).
inline std::string LastThree(const std::string& text) {
  return text.size() <= 3 ? text : text.substr(text.size() - 3);
}

// What the ROM-copy download makes of a file, by the last three characters of its path: "bin"
// is an eMMC factory image, "fls" an Infineon factory file; anything else it passes over.
enum class RomImage { kNotAnImage, kEmmc, kModem };
inline RomImage RomImageOf(const std::string& path) {
  const std::string ending = LastThree(path);
  if (ending == "bin") return RomImage::kEmmc;
  if (ending == "fls") return RomImage::kModem;
  return RomImage::kNotAnImage;
}

}  // namespace kinds
