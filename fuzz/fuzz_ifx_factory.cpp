// The Infineon factory file on arbitrary bytes: the scan, the load records and the per-record
// walk the download makes, in memory; and the download itself reading the file from disk up to
// the phone (a link that is not open fails the first exchange at once).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "flash/ifx_image.h"
#include "sim/builders/infineon_builders.h"

namespace {

namespace b = phonesim::builders;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Inside(uint64_t at, uint64_t size, uint64_t fileSize) {
  return at <= fileSize && size <= fileSize - at;
}

constexpr uint32_t kMaxRecords = 64;  // enough to reach every path; keeps one run short

// The record's code and security elements, read as the download reads them.
void WalkRecord(ifx::ByteSource& file, const ifx::Area& area, const ifx::LoadRecord& record) {
  ifx::ElementWalker walker(file, area);
  ifx::Element e;
  uint8_t security[ifx::kSecuritySize];
  while (walker.Next(e)) {
    Require(Inside(e.at, e.length, file.Size()));
    if (e.tag != record.id) continue;
    if (e.type == ifx::kCode) {
      ifx::CodeElement code;
      if (ifx::ReadCodeElement(file, area, e, code).empty()) {
        Require(Inside(code.codeAt, code.Length(), file.Size()));
      }
    } else if (e.type == ifx::kSecurity) {
      ifx::ReadBlock(file, area, e, security, sizeof security);
    }
  }
}

void ScanFactory(const uint8_t* data, size_t size) {
  ifx::MemorySource file(data, size);
  const ifx::Area area = ifx::FactoryArea(file);
  ifx::Layout layout;
  const unsigned kinds = ifx::kScanLoaders | ifx::kScanData | ifx::kScanLoadList;
  if (!ifx::Scan(file, area, kinds, layout).empty()) return;
  if (layout.psi) Require(Inside(layout.psi->at, layout.psi->size, size));
  if (layout.ebl) Require(Inside(layout.ebl->at, layout.ebl->size, size));
  if (!layout.loadList) return;
  const uint32_t count = std::min(layout.loadList->count, kMaxRecords);
  for (uint32_t i = 0; i < count; ++i) {
    ifx::LoadRecord record;
    Require(ifx::ReadLoadRecord(file, *layout.loadList, i, record));
    Require(record.name.size() <= ifx::kLoadNameSize);
    WalkRecord(file, area, record);
  }
}

// The download from a file on disk, as far as a link that is not open lets it go.
void DownloadFromDisk(const std::vector<uint8_t>& bytes) {
  // One file per process, removed at exit.
  static const struct TempPath {
    TempPath() {
      std::random_device random;
      path = (std::filesystem::temp_directory_path() /
              ("fuzz_ifx_factory_" + std::to_string(random()) + ".fls"))
                 .string();
    }
    ~TempPath() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
    std::string path;
  } temp;
  const std::string& path = temp.path;
  static CMiscUtilComm link;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  CBasicFlash flash;
  Require(flash.IFXFactoryDownload(path.c_str(), &link, 2) == 0);
}

// A sound factory file with the input's (position, value) pairs XORed in.
std::vector<uint8_t> Mutated(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> sound = [] {
    b::IfxFactoryParts parts;
    parts.psi = b::Pattern(40, 1);
    parts.ebl = b::Pattern(60, 2);
    parts.components = {{"psi", 1, b::Pattern(100, 3), 0, true, true},
                        {"V618", 2, b::Pattern(50, 4), 0x1000, true, true}};
    return b::BuildIfxFactory(parts);
  }();
  std::vector<uint8_t> file = sound;
  for (size_t i = 0; i + 2 < size; i += 3) {
    file[static_cast<size_t>(data[i] | data[i + 1] << 8) % file.size()] ^= data[i + 2];
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScanFactory(data, size);
  const std::vector<uint8_t> mutated = Mutated(data, size);
  ScanFactory(mutated.data(), mutated.size());
  DownloadFromDisk(std::vector<uint8_t>(data, data + size));
  return 0;
}
