#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "corvane/platform/export.h"

// Readers of the Infineon element formats: the firmware image (a 32-bit little-endian length L,
// then L bytes of elements) and the factory file (elements from byte 0 to the end of the file).
//
// An element is a 12-byte header (type, length = distance to the next element, a tag word) and
// its data. Every reader is bounded: it reads only through the ByteSource it is given, checks
// each range against the element area before reading, and refuses with a status line anything
// that points outside. Nothing here talks to a phone or opens a file.
namespace ifx {

enum ElementType : uint32_t {
  kCode = 12,      // code descriptor (28 bytes), then the code
  kBootInfo = 13,  // 172-byte boot information block
  kSecurity = 15,  // 2048-byte security block
  kLoadList = 16,  // load records of a factory file
  kPsi = 18,       // PSI descriptor (20 bytes)
  kEbl = 19,       // EBL descriptor (20 bytes)
};

constexpr size_t kHeaderSize = 12;
constexpr size_t kCodeDescWords = 7;  // word 4 = code length
constexpr size_t kCodeDescSize = 4 * kCodeDescWords;
constexpr size_t kLoaderDescWords = 5;  // word 2 = size, word 4 = offset in the element area
constexpr size_t kLoaderDescSize = 4 * kLoaderDescWords;
constexpr size_t kBootInfoSize = 172;
constexpr size_t kSecuritySize = 2048;
constexpr size_t kLoadListHeadSize = 24;  // header, record count, 8 unused bytes
constexpr size_t kLoadRecordSize = 144;
constexpr size_t kLoadNameOffset = 16;
constexpr size_t kLoadNameSize = 128;

// Why an image or file was refused: a status line, empty when nothing was wrong.
using Refusal = std::string;

// Random access to the bytes of an image buffer or a factory file.
class CORVANE_API ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies `n` bytes from `offset`; false when they are not all there or cannot be read.
  virtual bool Read(uint64_t offset, uint8_t* out, size_t n) = 0;
};

class CORVANE_API MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, uint64_t size) : data_(data), size_(data ? size : 0) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* out, size_t n) override;

 private:
  const uint8_t* data_;
  uint64_t size_;
};

// Where the elements lie in a source; `noun` names the source in refusals.
struct Area {
  uint64_t start = 0;
  uint64_t length = 0;
  const char* noun = "image";
};

// The element area of an image buffer; refused when the length word claims more than the source
// holds.
CORVANE_API Refusal ImageArea(ByteSource& source, Area& area);
// A factory file's elements fill the whole file.
CORVANE_API Area FactoryArea(const ByteSource& source);

struct Element {
  uint64_t at = 0;  // offset in the source
  uint32_t type = 0;
  uint32_t length = 0;
  uint32_t tag = 0;  // the factory file's load identifier

  uint64_t DataAt() const { return at + kHeaderSize; }
  uint64_t DataSize() const { return length - kHeaderSize; }
};

// Visits the elements of an area in order. A walk ends at an element of length 0 or when fewer
// than 12 bytes are left. An element reaching past the area (a cut file) ends it without a
// flaw: it is not visited, and Cut() keeps its header so that the caller refuses it only when
// it needs that element. An element shorter than its header is a flaw that ends the walk.
class CORVANE_API ElementWalker {
 public:
  ElementWalker(ByteSource& source, const Area& area) : source_(source), area_(area) {}

  // The next element; false at the end of the walk or at a flaw (Error() says which).
  bool Next(Element& element);
  const Refusal& Error() const { return error_; }
  // The header of the element that reached past the area, if the walk ended at one.
  const std::optional<Element>& Cut() const { return cut_; }
  // The refusal for the cut element.
  Refusal CutRefusal() const;

 private:
  ByteSource& source_;
  Area area_;
  uint64_t position_ = 0;  // in the area
  bool done_ = false;
  Refusal error_;
  std::optional<Element> cut_;
};

// A PSI or EBL descriptor and where its loader lies in the source.
struct LoaderDesc {
  std::array<uint32_t, kLoaderDescWords> words{};
  uint64_t at = 0;
  uint32_t size = 0;
};

struct CodeElement {
  std::array<uint32_t, kCodeDescWords> desc{};
  uint64_t codeAt = 0;  // the code follows the descriptor in the same element

  uint32_t Length() const { return desc[4]; }
};

struct LoadList {
  uint32_t count = 0;
  uint64_t recordsAt = 0;
};

struct LoadRecord {
  uint32_t id = 0;
  std::string name;  // up to its zero, at most 128 characters
};

// Readers of one element's data; each checks that what it reads lies inside the element.
CORVANE_API Refusal ReadLoaderDesc(ByteSource& source, const Area& area, const Element& element,
                                   LoaderDesc& out);
CORVANE_API Refusal ReadCodeElement(ByteSource& source, const Area& area, const Element& element,
                                    CodeElement& out);
CORVANE_API Refusal ReadLoadList(ByteSource& source, const Area& area, const Element& element,
                                 LoadList& out);
// The element's first `size` data bytes (boot information, security block).
CORVANE_API Refusal ReadBlock(ByteSource& source, const Area& area, const Element& element,
                              uint8_t* out, size_t size);
// Record `index` (< list.count) of a load list that ReadLoadList accepted.
CORVANE_API bool ReadLoadRecord(ByteSource& source, const LoadList& list, uint32_t index,
                                LoadRecord& out);

// What a walk over a whole area found; of each kind the last element wins.
struct Layout {
  std::optional<LoaderDesc> psi;
  std::optional<LoaderDesc> ebl;
  std::optional<uint64_t> bootInfoAt;
  std::optional<CodeElement> code;
  std::optional<uint64_t> securityAt;
  std::optional<LoadList> loadList;
};

// The kinds of element a scan reads and checks; all others are skipped unread, and a cut element
// (one that reaches past the area) is refused only when it is of a kind the scan reads.
enum ScanKinds : unsigned {
  kScanLoaders = 1u << 0,   // PSI, EBL, boot information
  kScanData = 1u << 1,      // code, security block
  kScanLoadList = 1u << 2,  // load list
};

CORVANE_API Refusal Scan(ByteSource& source, const Area& area, unsigned kinds, Layout& out);

}  // namespace ifx
