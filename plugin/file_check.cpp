// The check of a run's files before any phone is touched: each file goes through the reader its
// sequence uses, so a file that the run would refuse half-way (after erasing, after writing
// other files) is refused before it starts.

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"
#include "corvane/plugin/exports.h"
#include "plugin/kind_table.h"
#include "plugin/model_module.h"

namespace {

// Keeps the last status line the readers send; they report refusals as the sequences do.
class LineCatcher : public platform::MessageTarget {
 public:
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    if (message == notify::kMsgNotify && wParam == notify::kStatusText) {
      last_ = reinterpret_cast<const char*>(lParam);
    }
    return 0;
  }
  std::string Take() { return std::exchange(last_, std::string()); }

 private:
  std::string last_;
};

// The file as the host hands it over: a 32-bit length, then the bytes.
std::optional<std::vector<uint8_t>> ReadImage(const std::string& path) {
  std::error_code ec;
  const uint64_t length = std::filesystem::file_size(platform::PathOf(path), ec);
  if (ec || length > UINT32_MAX) return std::nullopt;
  std::vector<uint8_t> image(4 + static_cast<size_t>(length));
  bytes::StoreLe32(image.data(), static_cast<uint32_t>(length));
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(image.data() + 4), static_cast<std::streamsize>(length));
  if (!in || in.gcount() != static_cast<std::streamsize>(length)) return std::nullopt;
  return image;
}

bool IsInfineonKind(uint8_t kind) {
  return kind == kinds::kPsi || kind == kinds::kSlb || kind == kinds::kCode ||
         kind == kinds::kAeneas;
}

constexpr const char* kNotWritten = "no step of this download would write it";

}  // namespace

CModelModule::FileVerdict CModelModule::CheckFiles(int mode, const std::vector<std::string>& paths,
                                                   uint32_t options) {
  LineCatcher lines;
  m_Report.SetWindow(&lines);
  Files()->SetParentHandle(&lines);
  Flash()->SetParentHandle(&lines);
  const auto refused = [&lines](const std::string& path) { return path + ": " + lines.Take(); };
  std::string why;
  std::vector<std::string> unused;
  switch (mode) {
    case kCheckNormalDownload:
      why = CheckNormalFiles(paths, options, refused, unused);
      break;
    case kCheckFactoryDownload:
      why = CheckRomImages(paths, options, refused, unused);
      break;
    case kCheckMdmDownload:
      why = CheckMdmFiles(paths, refused);
      break;
    default:
      why = "unknown kind of download to check: " + std::to_string(mode);
      break;
  }
  if (!why.empty()) return {kCheckRefused, why};
  if (unused.empty()) return {1, ""};
  std::string text;
  for (const std::string& line : unused) text += (text.empty() ? "" : "\n") + line;
  return {kCheckUnusedFiles, text};
}

std::string CModelModule::CheckRomImages(const std::vector<std::string>& paths, uint32_t options,
                                         const Refusal& refused, std::vector<std::string>& unused) {
  bool anyImage = false;
  bool modemFile = false;
  for (size_t i = 0; i < 2 && i < paths.size(); ++i) {
    const std::string& path = paths[i];
    if (path.empty()) continue;
    anyImage = true;
    switch (kinds::RomImageOf(path)) {
      case kinds::RomImage::kEmmc:
        if (!Flash()->OMAPFactoryCheck(path.c_str())) return refused(path);
        break;
      case kinds::RomImage::kModem:
        modemFile = true;
        if (!Flash()->IFXFactoryCheck(path.c_str())) return refused(path);
        break;
      case kinds::RomImage::kNotAnImage:
        unused.push_back(path + ": " + kNotWritten +
                         " (a ROM image is a modem factory file, *.fls, or an eMMC one, *.bin)");
        break;
    }
  }
  if (!anyImage) return "there is no ROM image to download: neither file is given";
  if ((options & kEraseCp) && !modemFile) {
    return "erasing the modem's flash needs the modem's factory file (.fls): none is given";
  }
  return "";
}

std::string CModelModule::CheckMdmFiles(const std::vector<std::string>& paths,
                                        const Refusal& refused) {
  const std::string none;
  const std::string& mdm = !paths.empty() ? paths[0] : none;
  const std::string& ap = paths.size() > 1 ? paths[1] : none;
  if (!mdm.empty()) {
    const int read = Files()->ReadMDMImage(mdm);
    Files()->ReleaseMDMImage();
    if (!read) return refused(mdm);
  }
  if (!Flash()->nVidiaFactoryCheck(ap.c_str())) return refused(ap);
  return "";
}

std::string CModelModule::CheckNormalFiles(const std::vector<std::string>& paths, uint32_t options,
                                           const Refusal& refused,
                                           std::vector<std::string>& unused) {
  int config = -1;
  bool haveModem = false;
  bool loadersTaken = false;
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    const uint8_t kind = Files()->FileDLOrder(path);
    if (kind != kinds::kCfg && !IsInfineonKind(kind)) continue;
    if (kind == kinds::kCfg && config >= 0) continue;  // only the first configuration counts
    const auto image = ReadImage(path);
    if (!image) return path + ": cannot be read";
    if (kind == kinds::kCfg) {
      std::string error;
      if (!Parser()->Parse(image->data(), &error)) return std::string(path).append(": ") + error;
      config = static_cast<int>(i);
      m_nSizeUnit = Parser()->SizeUnit();
      continue;
    }
    haveModem = true;
    if (!Flash()->ExtractDataFromIFX(image->data(), Link())) return refused(path);
    if (!loadersTaken && !Flash()->ExtractPsiEbl(image->data(), Link())) return refused(path);
    loadersTaken = true;
  }
  const bool haveConfig = config >= 0;
  if ((options & (kEraseAp | kEraseUserData)) && !haveConfig) {
    return "erasing the eMMC (whole or user data) needs a configuration file (.cfg): none is given";
  }
  if ((options & kEraseUserData) && !Parser()->ByName("userdata")) {
    return "the configuration has no userdata partition to erase";
  }
  if ((options & kEraseCp) && !haveModem) {
    return "erasing the modem's flash needs a modem image (psi, slb, V618 or AENEAS): none is "
           "given";
  }
  std::vector<bool> written(paths.size(), false);
  if (haveConfig) written[static_cast<size_t>(config)] = true;
  for (size_t i = 0; i < paths.size(); ++i) {
    written[i] = written[i] || IsInfineonKind(Files()->FileDLOrder(paths[i]));
  }
  if (std::string why = CheckPartitionFiles(paths, haveConfig, written); !why.empty()) {
    return why;
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    if (written[i] || paths[i].empty()) continue;
    const bool laterConfig = Files()->FileDLOrder(paths[i]) == kinds::kCfg;
    unused.push_back(paths[i] + ": " + kNotWritten +
                     (laterConfig   ? " (only the first configuration file is read)"
                      : !haveConfig ? " (there is no configuration file to name its partition)"
                                    : " (no partition of the configuration names it)"));
  }
  return "";
}

// Each partition file must fit the partition it is written into, as the write step requires.
// The step writes the first file of the partition's name; `written` marks it.
std::string CModelModule::CheckPartitionFiles(const std::vector<std::string>& paths,
                                              bool haveConfig, std::vector<bool>& written) {
  for (size_t index = 0; haveConfig && index < Parser()->FirstDevicePartitions(); ++index) {
    const std::string fileName = Parser()->FileNameAt(index);
    const auto range = Parser()->ByFileName(fileName);
    if (fileName.empty() || !range) continue;
    for (size_t i = 0; i < paths.size(); ++i) {
      if (platform::BareName(paths[i]) != fileName) continue;
      std::error_code ec;
      const uint64_t length = std::filesystem::file_size(platform::PathOf(paths[i]), ec);
      if (ec || !std::ifstream(paths[i], std::ios::binary)) return paths[i] + ": cannot be read";
      if (length > InUnit(range->size)) return paths[i] + ": is larger than its partition";
      written[i] = true;
      break;
    }
  }
  return "";
}
