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
#include "plugin/exports.h"
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
  const uint64_t length = std::filesystem::file_size(path, ec);
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

std::string LastThree(const std::string& path) { return kinds::LastThree(path); }

}  // namespace

std::string CModelModule::CheckFiles(int mode, const std::vector<std::string>& paths,
                                     uint32_t options) {
  LineCatcher lines;
  m_Report.SetWindow(&lines);
  Files()->SetParentHandle(&lines);
  Flash()->SetParentHandle(&lines);
  const auto refused = [&lines](const std::string& path) { return path + ": " + lines.Take(); };
  const std::string none;
  const std::string& first = !paths.empty() ? paths[0] : none;
  const std::string& second = paths.size() > 1 ? paths[1] : none;

  switch (mode) {
    case kCheckNormalDownload:
      return CheckNormalFiles(paths, options, refused);
    case kCheckFactoryDownload: {
      bool modemFile = false;
      for (const std::string* path : {&first, &second}) {
        const std::string ending = LastThree(*path);
        if (ending == "bin" && !Flash()->OMAPFactoryCheck(path->c_str())) return refused(*path);
        if (ending == "fls") {
          modemFile = true;
          if (!Flash()->IFXFactoryCheck(path->c_str())) return refused(*path);
        }
      }
      if ((options & 2) && !modemFile) {
        return "erasing the modem's flash needs the modem's factory file (.fls): none is given";
      }
      return "";
    }
    case kCheckMdmDownload:
      if (!first.empty()) {
        const int read = Files()->ReadMDMImage(first);
        Files()->ReleaseMDMImage();
        if (!read) return refused(first);
      }
      if (!Flash()->nVidiaFactoryCheck(second.c_str())) return refused(second);
      return "";
    default:
      return "unknown kind of download to check: " + std::to_string(mode);
  }
}

std::string CModelModule::CheckNormalFiles(
    const std::vector<std::string>& paths, uint32_t options,
    const std::function<std::string(const std::string&)>& refused) {
  bool haveConfig = false;
  bool haveModem = false;
  bool loadersTaken = false;
  for (const std::string& path : paths) {
    const uint8_t kind = Files()->FileDLOrder(path);
    if (kind != kinds::kCfg && !IsInfineonKind(kind)) continue;
    if (kind == kinds::kCfg && haveConfig) continue;  // only the first configuration counts
    const auto image = ReadImage(path);
    if (!image) return path + ": cannot be read";
    if (kind == kinds::kCfg) {
      std::string error;
      if (!Parser()->Parse(image->data(), &error)) return path + ": " + error;
      haveConfig = true;
      m_nSizeUnit = Parser()->SizeUnit();
      continue;
    }
    haveModem = true;
    if (!Flash()->ExtractDataFromIFX(image->data(), Link())) return refused(path);
    if (!loadersTaken && !Flash()->ExtractPsiEbl(image->data(), Link())) return refused(path);
    loadersTaken = true;
  }
  if ((options & (1 | 4)) && !haveConfig) {
    return "erasing the eMMC (whole or user data) needs a configuration file (.cfg): none is given";
  }
  if ((options & 4) && !Parser()->ByName("userdata")) {
    return "the configuration has no userdata partition to erase";
  }
  if ((options & 2) && !haveModem) {
    return "erasing the modem's flash needs a modem image (psi, slb, V618 or AENEAS): none is "
           "given";
  }
  // Each partition file must fit the partition it is written into, as the write step requires.
  for (size_t index = 0; haveConfig && index < Parser()->FirstDevicePartitions(); ++index) {
    const std::string fileName = Parser()->FileNameAt(index);
    const auto range = Parser()->ByFileName(fileName);
    for (const std::string& path : paths) {
      if (fileName.empty() || !range || platform::BareName(path) != fileName) continue;
      std::error_code ec;
      const uint64_t length = std::filesystem::file_size(path, ec);
      if (ec || !std::ifstream(path, std::ios::binary)) return path + ": cannot be read";
      if (length > InUnit(range->size)) return path + ": is larger than its partition";
      break;
    }
  }
  return "";
}
