// OMAP eMMC: the phone's download agent erases areas of the eMMC and writes partitions that
// are announced first (0x06) and then sent in blocks of up to 512 KiB (0x02).

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/file_io.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/step_digest.h"
#include "flash/ap_factory_headers.h"
#include "flash/block_read_ahead.h"
#include "flash/boot_header.h"
#include "flash/step_helpers.h"

namespace {

using ap_factory::HeaderStatus;
using ap_factory::PlanStatus;

using flash_steps::Acknowledged;
using flash_steps::Fail;
using flash_steps::Percent;
using flash_steps::Twice;
using platform::File;

// The file's length, leaving the position at its start; nullopt when it cannot be opened or told.
std::optional<uint64_t> OpenForReading(const char* path, File& file) {
  file = platform::OpenFile(path, "rb");
  return file ? platform::LengthOf(file.get()) : std::nullopt;
}

uint32_t RoundUpTo512(uint32_t n) { return (n + 511u) & ~511u; }

bool Announce(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t partition, uint32_t address,
              uint32_t size) {
  BootHeader h(boot_cmd::kOmapAnnounce);
  h.Sub(partition).U32(2, address).U32(6, size);
  return Acknowledged(
      comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, Twice(flash.GetDefaultTimeout())));
}

bool SendBlock(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t partition, const uint8_t* data,
               uint32_t length) {
  BootHeader h(boot_cmd::kOmapDataBlock);
  h.Sub(partition).U32(8, length);
  return Acknowledged(comm->AsyncTxRxExFile(h.data(), nullptr, BootHeader::kLongLength, data,
                                            length, flash.GetDefaultTimeout()));
}

enum class Streamed { kOk, kReadFailed, kSendFailed };

// Sends `total` bytes in blocks of up to 512 KiB. `fetch(offset, length)` supplies each block
// (null when it cannot be read). With `padToSector` the last short block goes out rounded up
// to whole 512-byte sectors, so the staging block must hold zeros past what `fetch` put there.
template <typename Fetch>
Streamed SendBlocks(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t partition, uint64_t total,
                    bool padToSector, Fetch fetch) {
  uint64_t sent = 0;
  while (sent < total) {
    const auto chunk =
        static_cast<uint32_t>(std::min<uint64_t>(CBasicFlash::kBlockSize, total - sent));
    const uint8_t* data = fetch(sent, chunk);
    if (data == nullptr) return Streamed::kReadFailed;
    const uint32_t length = padToSector ? RoundUpTo512(chunk) : chunk;
    if (!SendBlock(flash, comm, partition, data, length)) return Streamed::kSendFailed;
    sent += chunk;
    flash.Report().StepAdvance(chunk);
    flash.SendCode(Percent(sent, total));
  }
  return Streamed::kOk;
}

// Streams `total` bytes of the file from where it stands (`base` bytes into it), each block read
// while the phone writes the one before.
Streamed SendFileBlocks(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t partition, std::FILE* file,
                        uint64_t base, uint64_t total, bool padToSector,
                        sha256::StepDigest& digest) {
  BlockReadAhead ahead(file, base, total, CBasicFlash::kBlockSize, digest);
  return SendBlocks(
      flash, comm, partition, total, padToSector,
      [&ahead](uint64_t offset, uint32_t length) { return ahead.Fetch(offset, length); });
}

int ReportStream(CBasicFlash& flash, Streamed outcome, const char* path) {
  if (outcome == Streamed::kOk) return 1;
  if (outcome == Streamed::kReadFailed) {
    flash.SendTextF("We can't read %s", path);
    flash.SendCode(notify::kProgressFailed);
    return 0;
  }
  return Fail(flash, "error!");
}

// Header problems of the factory file are shown in a message box, as the agent's users know
// them; the progress code still tells the window that the step failed.
int RefuseHeader(CBasicFlash& flash, HeaderStatus status) {
  platform::ShowMessageBox(status == HeaderStatus::kBadMagic ? "Magic number does not concide"
                                                             : "We can't read binary!");
  flash.SendCode(notify::kProgressFailed);
  return 0;
}

int RefusePlan(CBasicFlash& flash, const ap_factory::OmapPlan& plan) {
  return flash_steps::RefusePlan(flash, plan.status, plan.failedEntry, "the download agent");
}

int WriteFactoryPartition(CBasicFlash& flash, CMiscUtilComm* comm, std::FILE* file,
                          const char* path, const ap_factory::OmapPartition& p,
                          sha256::StepDigest& digest) {
  if (p.imageSectors != 0 && !flash.OMAPErasePart(p.address, p.eraseBytes, comm)) return 0;
  flash.SendText(ap_factory::OmapPartitionSizeText(p.imageSectors).c_str());
  flash.SendCode(0);
  if (!Announce(flash, comm, 0, p.address, p.announcedSize)) return Fail(flash, "error!");
  if (!platform::SeekTo(file, p.fileOffset))
    return ReportStream(flash, Streamed::kReadFailed, path);
  flash.Report().AddToPlan(p.dataBytes);
  const Streamed outcome =
      SendFileBlocks(flash, comm, 0, file, p.fileOffset, p.dataBytes, false, digest);
  return ReportStream(flash, outcome, path);
}

}  // namespace

int CBasicFlash::OMAPFlashStart(CMiscUtilComm* comm) {
  const BootHeader h(boot_cmd::kOmapFlashStart);
  if (!Acknowledged(comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, m_nDefaultTimeout))) {
    return Fail(*this, "error!");
  }
  return 1;
}

int CBasicFlash::OMAPErasePart(uint32_t start, uint32_t length, CMiscUtilComm* comm) {
  SendCode(0);
  BootHeader h(boot_cmd::kOmapErase);
  h.U32(4, start).U32(8, length);
  if (!Acknowledged(comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLongLength,
                                      Twice(m_nDefaultTimeout)))) {
    return Fail(*this, "error!");
  }
  SendText("Success to erase");
  SendCode(100);
  return 1;
}

int CBasicFlash::OMAPNormalDownload(const uint8_t* image, uint8_t partition, uint32_t address,
                                    uint32_t size, CMiscUtilComm* comm) {
  if (image == nullptr) return Fail(*this, "There is no image to download");
  std::vector<uint8_t> staging(kStagingSize, 0);
  SendCode(0);
  if (!Announce(*this, comm, partition, address, size)) return Fail(*this, "error!");
  const uint8_t* data = ImageData(image);
  // Whole blocks go straight from the image; only the last short one is copied to be padded.
  auto fetch = [&](uint64_t offset, uint32_t length) -> const uint8_t* {
    if (length == kBlockSize) return data + offset;
    std::memcpy(staging.data(), data + offset, length);
    return staging.data();
  };
  if (SendBlocks(*this, comm, partition, ImageLength(image), true, fetch) != Streamed::kOk) {
    return Fail(*this, "error!");
  }
  return 1;
}

namespace {

// The length a file has now; nullopt when it cannot be opened or told.
std::optional<uint64_t> OpenLength(CBasicFlash& flash, const char* path, File& file) {
  const std::optional<uint64_t> length = OpenForReading(path, file);
  if (!length) {
    flash.SendTextF("We can't open %s", path != nullptr ? path : "(no file)");
    flash.SendCode(notify::kProgressFailed);
  }
  return length;
}

// Streams the file, which must still have the length the caller recorded.
int StreamFile(CBasicFlash& flash, const char* path, uint8_t partition, uint32_t address,
               uint32_t size, CMiscUtilComm* comm, std::optional<uint64_t> recordedLength) {
  flash.SendCode(0);
  File file;
  const std::optional<uint64_t> now = OpenLength(flash, path, file);
  if (!now) return 0;
  // A file rewritten since the run started is no longer the image that was checked.
  if (recordedLength && *now != *recordedLength) {
    flash.SendTextF("%s has changed: %llu bytes when the run started, %llu now", path,
                    static_cast<unsigned long long>(*recordedLength),
                    static_cast<unsigned long long>(*now));
    flash.SendCode(notify::kProgressFailed);
    return 0;
  }
  if (!Announce(flash, comm, partition, address, size)) return Fail(flash, "error!");
  sha256::StepDigest digest(flash.Report(), *now);
  return ReportStream(
      flash, SendFileBlocks(flash, comm, partition, file.get(), 0, *now, true, digest), path);
}

}  // namespace

int CBasicFlash::OMAPFileBaseDownload(const char* path, uint8_t partition, uint32_t address,
                                      uint32_t size, CMiscUtilComm* comm) {
  return StreamFile(*this, path, partition, address, size, comm, std::nullopt);
}

int CBasicFlash::OMAPFileBaseDownload(const char* path, uint8_t partition, uint32_t address,
                                      uint32_t size, CMiscUtilComm* comm, uint64_t recordedLength) {
  return StreamFile(*this, path, partition, address, size, comm, recordedLength);
}

int CBasicFlash::OMAPFactoryCheck(const char* path) {
  File file;
  const std::optional<uint64_t> opened = OpenLength(*this, path, file);
  if (!opened) return 0;
  const uint64_t fileSize = *opened;
  std::array<uint8_t, ap_factory::kOmapHeaderSize> head{};
  const size_t got = std::fread(head.data(), 1, head.size(), file.get());
  ap_factory::OmapHeader header;
  const HeaderStatus status = ap_factory::ReadOmapHeader({head.data(), got}, header);
  if (status == HeaderStatus::kBadMagic) return Fail(*this, "Magic number does not concide");
  if (status != HeaderStatus::kOk) return Fail(*this, "We can't read binary!");
  const ap_factory::OmapPlan plan = ap_factory::PlanOmapPartitions(header, fileSize);
  return plan.status == PlanStatus::kOk ? 1 : RefusePlan(*this, plan);
}

int CBasicFlash::OMAPFactoryDownload(const char* path, CMiscUtilComm* comm) {
  File file;
  const std::optional<uint64_t> opened = OpenLength(*this, path, file);
  if (!opened) return 0;
  const uint64_t fileSize = *opened;
  sha256::StepDigest digest(m_Report, fileSize);
  std::array<uint8_t, ap_factory::kOmapHeaderSize> head{};
  const size_t got = std::fread(head.data(), 1, head.size(), file.get());
  digest.Read(0, head.data(), got);
  ap_factory::OmapHeader header;
  const HeaderStatus status = ap_factory::ReadOmapHeader({head.data(), got}, header);
  if (status != HeaderStatus::kOk) return RefuseHeader(*this, status);
  // The whole table is checked before the agent is touched, so that a file that lies about
  // its sizes leaves the phone as it was.
  const ap_factory::OmapPlan plan = ap_factory::PlanOmapPartitions(header, fileSize);
  if (plan.status != PlanStatus::kOk) return RefusePlan(*this, plan);
  if (!OMAPFlashStart(comm)) return 0;
  SendText("EMMC writing start");
  for (size_t i = 0; i < plan.count; ++i) {
    const ap_factory::OmapPartition& p = plan.partitions[i];
    if (!WriteFactoryPartition(*this, comm, file.get(), path, p, digest)) return 0;
  }
  return 1;
}
