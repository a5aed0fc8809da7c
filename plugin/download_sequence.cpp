// The normal download of the model: the eMMC partitions of the configuration through the OMAP
// download agent, then the Infineon modem's boot loaders and images, then a reset.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "corvane/platform/file_status.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"
#include "corvane/plugin/exports.h"
#include "plugin/kind_table.h"
#include "plugin/model_module.h"

namespace {

constexpr uint8_t kPartitionId = 70;

struct InfineonKind {
  uint8_t code;
  const char* name;  // "PSI" in "PSI Download start"
};

const InfineonKind* InfineonKindOf(uint8_t code) {
  static const InfineonKind kKinds[] = {{kinds::kPsi, "PSI"},
                                        {kinds::kSlb, "SLB"},
                                        {kinds::kCode, "Code"},
                                        {kinds::kAeneas, "Aeneas"}};
  for (const InfineonKind& k : kKinds) {
    if (k.code == code) return &k;
  }
  return nullptr;
}

}  // namespace

struct CModelModule::Run {
  uint8_t port;
  uint8_t* const* images;
  int count;
  const std::vector<std::string>& paths;
  uint32_t options;
  // Each file as it was when the run started (nullopt: it could not be looked at). Partitions
  // stream from their paths at write time, long after the run started: a file that has changed
  // since, or while it was written, must fail its partition, not pass for written.
  std::vector<std::optional<platform::FileIdentity>> files;

  // The files that exist on both sides: an image and a path.
  int Files() const { return std::min<int>(count, static_cast<int>(paths.size())); }
  const std::string& Path(int i) const { return paths[static_cast<size_t>(i)]; }
};

int CModelModule::StartDownload(platform::WindowHandle window, uint8_t port, uint8_t* const* images,
                                int count, const std::vector<std::string>& paths, uint32_t timeout,
                                uint32_t options) {
  Run run{port, images, count, paths, options, {}};
  for (int i = 0; i < run.Files(); ++i) run.files.push_back(platform::IdentityOf(run.Path(i)));
  Flash()->InitDLBuffer(count, images);
  if (!OpenPortAfresh(window, port, timeout)) return 0;
  bool haveConfig = false;
  if (!ReadConfiguration(run, haveConfig)) return 0;
  m_nSizeUnit = Parser()->SizeUnit();
  if (!Flash()->OMAPFlashStart(Link())) return 0;
  SendText("EMMC download start");
  if (haveConfig && (options & kEraseAp) && !TotalErase()) return 0;
  if ((options & kEraseUserData) && !UserDataErase()) return 0;
  if (haveConfig && !WritePartitions(run)) return 0;
  if (!WriteInfineonImages(run)) return 0;
  return Finish() ? 1 : 0;
}

// The first configuration file is the partition table; later ones are ignored.
bool CModelModule::ReadConfiguration(const Run& run, bool& haveConfig) {
  for (int i = 0; i < run.Files(); ++i) {
    if (Files()->FileDLOrder(run.Path(i)) != kinds::kCfg) continue;
    SendText("CFG Download start");
    StepScope step(Steps(), notify::StepKind::kConfiguration, i, 0,
                   platform::BareName(run.Path(i)));
    // Without its table the run would stop silently: the window must see it failed.
    if (run.images[i] == nullptr) {
      SendTextF("We can't read %s", run.Path(i).c_str());
      SendCode(notify::kProgressFailed);
      return false;
    }
    std::string error;
    if (!Parser()->Parse(run.images[i], &error)) {
      SendText(error.c_str());
      SendCode(notify::kProgressFailed);
      return false;
    }
    haveConfig = true;
    return step.Done(true);
  }
  return true;
}

bool CModelModule::EraseRange(uint32_t start, uint32_t size) {
  return Flash()->OMAPErasePart(start, InUnit(size), Link()) != 0;
}

bool CModelModule::TotalErase() {
  SendText("Start total erase");
  StepScope step(Steps(), notify::StepKind::kErase, notify::kNoFile, 0, "total erase");
  for (size_t i = 0; i < Parser()->FirstDevicePartitions(); ++i) {
    const auto range = Parser()->ByIndex(i);
    if (!range) {
      SendText("Mismatch partition number");
      SendCode(notify::kProgressFailed);
      return false;
    }
    if (!EraseRange(range->start, range->size)) return false;
  }
  SendText("End total erase");
  return step.Done(true);
}

// Never erases a range the look-up did not find: without a "userdata" partition the user's data
// cannot be wiped, and the run stops before anything is written rather than pass for done.
bool CModelModule::UserDataErase() {
  StepScope step(Steps(), notify::StepKind::kErase, notify::kNoFile, 0, "userdata");
  const auto range = Parser()->ByName("userdata");
  if (!range) {
    SendText("We can't find the userdata partition to erase");
    SendCode(notify::kProgressFailed);
    return false;
  }
  if (!EraseRange(range->start, range->size)) return false;
  SendText("End user erase");
  return step.Done(true);
}

bool CModelModule::WritePartitions(const Run& run) {
  for (size_t index = 0; index < Parser()->FirstDevicePartitions(); ++index) {
    const std::string fileName = Parser()->FileNameAt(index);
    if (fileName.empty()) continue;
    int file = -1;
    for (int i = 0; i < run.Files() && file < 0; ++i) {
      if (platform::BareName(run.Path(i)) == fileName) file = i;
    }
    const auto range = Parser()->ByFileName(fileName);
    if (file < 0 || !range) continue;
    if (!WritePartition(run, file, *range)) return false;
  }
  return true;
}

bool CModelModule::WritePartition(const Run& run, int file, const CModelParser::Range& range) {
  const std::string fileName = platform::BareName(run.Path(file));
  SendTextF("Start Address: %u, Partition length: %u", range.start, range.size);
  // A file longer than its partition would run over into the next one.
  const std::optional<platform::FileIdentity>& before = run.files[static_cast<size_t>(file)];
  const std::optional<uint64_t> length =
      before ? std::optional<uint64_t>(before->size) : std::nullopt;
  StepScope step(Steps(), notify::StepKind::kPartition, file, length.value_or(0), fileName);
  if (!length || *length > InUnit(range.size)) {
    SendText((fileName + (!length ? "  can't be read" : "  is larger than its partition")).c_str());
    SendCode(notify::kProgressFailed);
    return false;
  }
  if (!(run.options & kEraseAp) && !EraseRange(range.start, range.size)) return false;
  SendText((fileName + "  writing start").c_str());
  if (!Flash()->OMAPFileBaseDownload(run.Path(file).c_str(), kPartitionId, range.start,
                                     InUnit(range.size), Link(), *length)) {
    SendText((fileName + "  Download fail").c_str());
    return false;
  }
  // Rewritten while it streamed, the phone holds parts of two versions of the file.
  if (platform::IdentityOf(run.Path(file)) != before) {
    SendText((fileName + "  changed while it was written").c_str());
    SendCode(notify::kProgressFailed);
    return false;
  }
  SendText((fileName + "  Download success").c_str());
  return step.Done(true);
}

bool CModelModule::WriteInfineonImages(const Run& run) {
  bool booted = false;
  for (int i = 0; i < run.Files(); ++i) {
    const InfineonKind* kind = InfineonKindOf(Files()->FileDLOrder(run.Path(i)));
    if (kind == nullptr) continue;
    StepScope step(Steps(), notify::StepKind::kModemImage, i, 0, kind->name);
    const uint8_t* image = run.images[i];
    // An image that could not be read or that lies about its layout stops the run: going on
    // would write what an earlier image left behind.
    if (image == nullptr) {
      SendTextF("We can't read %s", run.Path(i).c_str());
      return false;
    }
    if (!Flash()->ExtractDataFromIFX(image, Link())) return false;
    if (!booted) {
      if (!Flash()->ExtractPsiEbl(image, Link()) || !Flash()->BasicIFXSetting(Link())) return false;
      booted = true;
    }
    SendTextF("%s Download start", kind->name);
    // A refused security bracket leaves the flash unerased: writing into it would corrupt it.
    if (!SecureBracket(kind->code, run.options)) {
      SendTextF("%s Download fail", kind->name);
      SendCode(notify::kProgressFailed);
      return false;
    }
    if (!Flash()->IFXNormalDownloadB(image, Link())) {
      SendTextF("%s Download fail", kind->name);
      return false;
    }
    SendTextF("%s Download success", kind->name);
    step.Done(true);
  }
  return true;
}

bool CModelModule::SecureBracket(uint8_t kind, uint32_t options) {
  switch (kind) {
    case kinds::kPsi:
      return Flash()->IFXSecuritySettingA(Link(), 1, options) != 0;
    case kinds::kSlb:
      return Flash()->IFXSecuritySettingB(Link(), 2) != 0;
    default:
      return Flash()->IFXSecuritySettingC(Link(), 4, options) != 0;
  }
}

bool CModelModule::Finish() {
  Parser()->Release();
  SendText("Target is resetting");
  if (!Flash()->NormalReset(Link())) return false;
  Link()->Close();
  SendText("Download complete");
  SendCode(notify::kProgressComplete);
  return true;
}
