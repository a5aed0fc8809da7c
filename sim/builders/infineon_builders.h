#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Builders of the Infineon element formats, written from the format itself (independent of the
// host's readers): the firmware image (a 32-bit little-endian element-area length, then the
// elements) and the factory file (elements from byte 0, with a load list). Knobs make them lie.
namespace phonesim::builders {

using Bytes = std::vector<uint8_t>;

// Element types.
constexpr uint32_t kIfxCode = 12;
constexpr uint32_t kIfxBootInfo = 13;
constexpr uint32_t kIfxSecurity = 15;
constexpr uint32_t kIfxLoadList = 16;
constexpr uint32_t kIfxPsi = 18;
constexpr uint32_t kIfxEbl = 19;
constexpr uint32_t kIfxBlob = 0x21;  // a type the host skips; carries the loaders' bytes

constexpr size_t kIfxHeaderSize = 12;
constexpr size_t kIfxBootInfoSize = 172;
constexpr size_t kIfxSecuritySize = 2048;
constexpr size_t kIfxFlashAddressAt = 1920;  // in the security block
constexpr size_t kIfxLoadRecordSize = 144;

// Deterministic bytes that differ from block to block (and include 0x7E/0x7D, which the link
// must escape).
Bytes Pattern(size_t n, uint8_t seed);
// A 2048-byte security block whose word at byte 1920 is `flashAddress`.
Bytes SecurityBlock(uint32_t flashAddress, uint8_t seed);

// An element area written element by element: header (type, length to the next element, tag)
// and data. Offsets are counted from the start of the area.
class IfxElements {
 public:
  size_t Add(uint32_t type, const Bytes& data, uint32_t tag = 0);
  void PutWord(size_t offset, uint32_t value);
  uint32_t Word(size_t offset) const;
  size_t Size() const { return area_.size(); }
  const Bytes& Area() const { return area_; }
  Bytes& Area() { return area_; }
  // The area behind its length word: an image buffer.
  Bytes AsImage() const;

 private:
  Bytes area_;
};

// Ways to make an image or factory file lie. All zero: a sound file.
struct IfxLies {
  uint32_t psiOffsetShift = 0;  // added to the PSI descriptor's offset
  uint32_t psiSizeExtra = 0;    // added to the PSI descriptor's size
  uint32_t eblOffsetShift = 0;
  uint32_t eblSizeExtra = 0;
  uint32_t codeLengthExtra = 0;     // the first code descriptor claims more than its element has
  uint32_t lastElementExtra = 0;    // the last element's length reaches past the end
  uint32_t loadListCountExtra = 0;  // the load list counts more records than it holds
  size_t trailingBytes = 0;         // a header cut short after the last element (< 12 bytes)
  size_t cutBytes = 0;              // the file or area ends this many bytes early
};

struct IfxImageParts {
  Bytes psi = Pattern(1500, 1);
  Bytes ebl = Pattern(5000, 2);
  Bytes bootInfo = Pattern(kIfxBootInfoSize, 3);
  Bytes code = Pattern(5000, 4);
  Bytes security = SecurityBlock(0x00040000, 5);
};

struct IfxImage {
  Bytes buffer;           // length word, then the element area
  size_t codeAt = 0;      // where the code lies in the buffer
  size_t codeDescAt = 0;  // where its 28-byte descriptor lies in the buffer
};

IfxImage BuildIfxImage(const IfxImageParts& parts, const IfxLies& lies = {});

// One load record of a factory file and the code and security elements that carry its tag.
struct IfxComponent {
  std::string name;
  uint32_t id = 0;
  Bytes code;
  uint32_t flashAddress = 0;
  bool withCode = true;
  bool withSecurity = true;
};

// An element written as it is.
struct IfxRawElement {
  uint32_t type = 0;
  Bytes data;
  uint32_t tag = 0;
};

struct IfxFactoryParts {
  Bytes psi = Pattern(1500, 11);
  Bytes ebl = Pattern(5000, 12);
  Bytes bootInfo = Pattern(kIfxBootInfoSize, 13);
  std::vector<IfxComponent> components;  // in the load list, elements in this order
  std::vector<IfxRawElement> extra;      // after the components' elements
  bool withLoadList = true;
};

Bytes BuildIfxFactory(const IfxFactoryParts& parts, const IfxLies& lies = {});

// The load list element's data: the record count, 8 unused bytes, then the records.
Bytes IfxLoadList(const std::vector<IfxComponent>& components, uint32_t countExtra = 0);
// A 28-byte code descriptor (word 4 = code length) followed by the code.
Bytes IfxCodeData(const Bytes& code, uint32_t lengthExtra = 0);
// A 20-byte PSI or EBL descriptor: word 2 = size, word 4 = offset in the area.
Bytes IfxLoaderDesc(uint32_t size, uint32_t offset);

}  // namespace phonesim::builders
