// The Infineon image readers and extractors on arbitrary bytes. Nothing may be read outside the
// buffer (the sanitizers watch), and whatever is accepted must lie inside it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "flash/ifx_image.h"
#include "sim/builders/infineon_builders.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Inside(uint64_t at, uint64_t size, const ifx::Area& area) {
  const uint64_t end = area.start + area.length;
  return at >= area.start && at <= end && size <= end - at;
}

// Everything a scan accepted lies inside the area it walked.
void CheckLayout(const ifx::Layout& l, const ifx::Area& area) {
  if (l.psi) Require(Inside(l.psi->at, l.psi->size, area));
  if (l.ebl) Require(Inside(l.ebl->at, l.ebl->size, area));
  if (l.bootInfoAt) Require(Inside(*l.bootInfoAt, ifx::kBootInfoSize, area));
  if (l.securityAt) Require(Inside(*l.securityAt, ifx::kSecuritySize, area));
  if (l.code) Require(Inside(l.code->codeAt, l.code->Length(), area));
  if (l.loadList) {
    Require(
        Inside(l.loadList->recordsAt, uint64_t{l.loadList->count} * ifx::kLoadRecordSize, area));
  }
}

constexpr unsigned kAllKinds = ifx::kScanLoaders | ifx::kScanData | ifx::kScanLoadList;

// The input as a whole image buffer, its length word included (it may claim too much).
void ScanRaw(const uint8_t* data, size_t size) {
  ifx::MemorySource source(data, size);
  ifx::Area area;
  if (!ifx::ImageArea(source, area).empty()) return;
  ifx::Layout layout;
  if (ifx::Scan(source, area, kAllKinds, layout).empty()) CheckLayout(layout, area);
}

// An image buffer through the extractors; what they keep must come from inside it.
void Extract(const std::vector<uint8_t>& image) {
  CBasicFlash flash;
  if (flash.ExtractPsiEbl(image.data(), nullptr)) {
    Require(flash.m_Infineon.psiImage.size() == flash.m_Infineon.psiDesc[2]);
    Require(flash.m_Infineon.eblImage.size() == flash.m_Infineon.eblDesc[2]);
  }
  if (flash.ExtractDataFromIFX(image.data(), nullptr)) {
    Require(uint64_t{flash.m_Infineon.codeDataOffset} + flash.m_Infineon.codeDesc[4] <=
            image.size());
  }
}

std::vector<uint8_t> AsImage(const uint8_t* area, size_t size) {
  std::vector<uint8_t> image(4 + size);
  for (int i = 0; i < 4; ++i) image[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
  if (size > 0) std::memcpy(image.data() + 4, area, size);
  return image;
}

// A sound image with the input's (position, value) pairs XORed in: reaches the checks behind
// well-formed headers far sooner than random bytes do.
std::vector<uint8_t> Mutated(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> sound = [] {
    phonesim::builders::IfxImageParts parts;
    parts.psi = phonesim::builders::Pattern(40, 1);
    parts.ebl = phonesim::builders::Pattern(60, 2);
    parts.code = phonesim::builders::Pattern(300, 3);
    return phonesim::builders::BuildIfxImage(parts).buffer;
  }();
  std::vector<uint8_t> image = sound;
  for (size_t i = 0; i + 2 < size; i += 3) {
    const size_t at = 4 + (static_cast<size_t>(data[i] | data[i + 1] << 8) % (image.size() - 4));
    image[at] ^= data[i + 2];
  }
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScanRaw(data, size);
  Extract(AsImage(data, size));
  Extract(Mutated(data, size));
  return 0;
}
