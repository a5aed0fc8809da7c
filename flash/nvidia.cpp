// NVIDIA: the boot loader takes a boot configuration table (0x80, 0x81), partition images held
// in memory (0x88, then 0x87 blocks) and the partitions of a factory file (0x8A, then 0x8B
// blocks that always carry a whole 512 KiB staging block).

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/file_io.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/step_digest.h"
#include "flash/ap_factory_headers.h"
#include "flash/boot_header.h"
#include "flash/step_helpers.h"

namespace {

using ap_factory::HeaderStatus;
using ap_factory::PlanStatus;

constexpr uint32_t kMaxBctLength = 10240;

using flash_steps::Acknowledged;
using flash_steps::Fail;
using flash_steps::Percent;
using flash_steps::Twice;

// Reads the head of a factory file and tells its length. A file that cannot be opened reads as
// an empty one, so it fails at the magic number like a file of another kind.
size_t ReadHead(std::FILE* file, std::span<uint8_t> head, uint64_t& fileSize) {
  const std::optional<uint64_t> length =
      file != nullptr ? platform::LengthOf(file) : std::optional<uint64_t>();
  fileSize = length.value_or(0);
  return length ? std::fread(head.data(), 1, head.size(), file) : 0;
}

bool SendImageBlock(CBasicFlash& flash, CMiscUtilComm* comm, uint8_t partition, const uint8_t* data,
                    uint32_t length) {
  BootHeader h(boot_cmd::kNvImageBlock);
  h.Sub(partition).PayloadLength(length);
  return Acknowledged(comm->AsyncTxRxExFile(h.data(), nullptr, BootHeader::kLength, data, length,
                                            flash.GetDefaultTimeout()));
}

void KeepTable(const ap_factory::NvHeader& header,
               nv_partition_t (&table)[CBasicFlash::kPartitions]) {
  for (size_t i = 0; i < ap_factory::kNvEntries; ++i) {
    const ap_factory::NvEntry& e = header.entries[i];
    table[i] = {e.firstWord, e.sectors, e.advance, e.present ? 1 : 0};
  }
}

int RefusePlan(CBasicFlash& flash, const ap_factory::NvPlan& plan) {
  return flash_steps::RefusePlan(flash, plan.status, plan.failedEntry, "the boot loader");
}

// The loader always takes a whole staging block; the bytes past a short chunk are erased-flash
// 0xFF rather than what the previous chunk left there.
bool SendPartitionBlocks(CBasicFlash& flash, CMiscUtilComm* comm, std::FILE* file,
                         const ap_factory::NvPartition& p, std::vector<uint8_t>& staging,
                         sha256::StepDigest& digest) {
  uint32_t sent = 0;
  while (sent < p.sizeBytes) {
    const uint32_t chunk = std::min<uint32_t>(CBasicFlash::kBlockSize, p.sizeBytes - sent);
    if (chunk < CBasicFlash::kBlockSize) std::fill(staging.begin() + chunk, staging.end(), 0xFF);
    const size_t got = std::fread(staging.data(), 1, chunk, file);
    digest.Read(p.fileOffset + sent, staging.data(), got);
    if (got != chunk) return false;
    BootHeader h(boot_cmd::kNvPartitionBlock);
    h.U32(2, chunk);
    if (!Acknowledged(comm->AsyncTxRxExFile(h.data(), nullptr, BootHeader::kLength, staging.data(),
                                            staging.size(), flash.GetDefaultTimeout()))) {
      return false;
    }
    sent += chunk;
    flash.Report().StepAdvance(chunk);
    flash.SendCode(Percent(sent, p.sizeBytes));
  }
  return true;
}

int SendPartition(CBasicFlash& flash, CMiscUtilComm* comm, std::FILE* file,
                  const ap_factory::NvPartition& p, std::vector<uint8_t>& staging,
                  sha256::StepDigest& digest) {
  flash.SendCode(0);
  flash.Report().AddToPlan(p.sizeBytes);
  BootHeader h(boot_cmd::kNvPartitionStart);
  h.U32(2, p.sizeBytes).U32(6, p.sectorPosition).U32(10, p.quarterSectors);
  if (!Acknowledged(
          comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, flash.GetDefaultTimeout()))) {
    return Fail(flash, "error!");
  }
  if (!platform::SeekTo(file, p.fileOffset) ||
      !SendPartitionBlocks(flash, comm, file, p, staging, digest)) {
    return Fail(flash, "error!");
  }
  flash.SendText("Partition download complete.");
  return 1;
}

}  // namespace

int CBasicFlash::BCTSetup(uint8_t selector, CMiscUtilComm* comm) {
  SendCode(0);
  BootHeader h(boot_cmd::kBctSetup);
  h.Sub(selector);
  if (!Acknowledged(comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, m_nDefaultTimeout))) {
    return Fail(*this, "Error");
  }
  SendCode(100);
  SendText("Bct Setup");
  return 1;
}

int CBasicFlash::BCTDownload(const uint8_t* image, uint8_t selector, CMiscUtilComm* comm,
                             uint32_t parameter) {
  SendText("BCT Writing start");
  SendCode(0);
  if (image == nullptr) return Fail(*this, "There is no BCT to download");
  const uint32_t length = ImageLength(image);
  if (length > kMaxBctLength) return Fail(*this, "The BCT is larger than 10240 bytes");
  BootHeader h(boot_cmd::kBctDownload);
  h.Sub(selector).U32(2, parameter).PayloadLength(length);
  if (!Acknowledged(comm->AsyncTxRxExFile(h.data(), nullptr, BootHeader::kLength, ImageData(image),
                                          length, m_nDefaultTimeout))) {
    return Fail(*this, "error!");
  }
  SendCode(100);
  return 1;
}

int CBasicFlash::NormalDownload(const uint8_t* image, uint8_t partition, CMiscUtilComm* comm) {
  if (image == nullptr) return Fail(*this, "There is no image to download");
  std::vector<uint8_t> staging(kStagingSize, 0xFF);
  SendCode(0);
  const uint32_t total = ImageLength(image);
  m_Report.AddToPlan(total);
  BootHeader h(boot_cmd::kNvImageStart);
  h.Sub(partition).U32(2, total);
  if (!Acknowledged(
          comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, Twice(m_nDefaultTimeout)))) {
    return Fail(*this, "error!");
  }
  uint32_t sent = 0;
  while (sent < total) {
    // Whole blocks go straight from the image; only the last short one is copied.
    const uint32_t length = std::min<uint32_t>(kBlockSize, total - sent);
    const uint8_t* data = ImageData(image) + sent;
    if (length < kBlockSize) {
      std::memcpy(staging.data(), data, length);
      data = staging.data();
    }
    if (!SendImageBlock(*this, comm, partition, data, length)) return Fail(*this, "error!");
    sent += length;
    m_Report.StepAdvance(length);
    SendCode(Percent(sent, total));
  }
  return 1;
}

int CBasicFlash::nVidiaFactoryCheck(const char* path) {
  const platform::File file = platform::OpenFile(path, "rb");
  if (!file) {
    SendTextF("We can't open %s", path != nullptr ? path : "(no file)");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  std::array<uint8_t, ap_factory::kNvHeaderSize> head{};
  uint64_t fileSize = 0;
  const size_t got = ReadHead(file.get(), head, fileSize);
  ap_factory::NvHeader header;
  const HeaderStatus status = ap_factory::ReadNvHeader({head.data(), got}, header);
  if (status == HeaderStatus::kBadMagic) return Fail(*this, "We can't read magic number");
  if (status != HeaderStatus::kOk) return Fail(*this, "We can't read partition information");
  const ap_factory::NvPlan plan = ap_factory::PlanNvPartitions(header, fileSize);
  return plan.status == PlanStatus::kOk ? 1 : RefusePlan(*this, plan);
}

int CBasicFlash::nVidiaFactoryDownload(const char* path, CMiscUtilComm* comm) {
  const platform::File file = platform::OpenFile(path, "rb");
  for (nv_partition_t& entry : m_Nvidia.partTable) entry = {};
  std::array<uint8_t, ap_factory::kNvHeaderSize> head{};
  uint64_t fileSize = 0;
  const size_t got = ReadHead(file.get(), head, fileSize);
  // A file that could not be opened was never read: its step has no digest.
  std::optional<sha256::StepDigest> digest;
  if (file) digest.emplace(m_Report, fileSize).Read(0, head.data(), got);
  ap_factory::NvHeader header;
  const HeaderStatus status = ap_factory::ReadNvHeader({head.data(), got}, header);
  if (status == HeaderStatus::kBadMagic) return Fail(*this, "We can't read magic number");
  if (status == HeaderStatus::kShortTable) {
    return Fail(*this, "We can't read partition information");
  }
  KeepTable(header, m_Nvidia.partTable);
  SendTextF("Num of partitions are %d", header.presentCount);
  if (status == HeaderStatus::kShortRecords) {
    return Fail(*this, "We can't read partition information");
  }
  // The whole table is checked before the loader is touched, so that a file that lies about
  // its sizes leaves the phone as it was.
  const ap_factory::NvPlan plan = ap_factory::PlanNvPartitions(header, fileSize);
  if (plan.status != PlanStatus::kOk) return RefusePlan(*this, plan);
  std::vector<uint8_t> staging(kBlockSize, 0xFF);
  for (size_t i = 0; i < plan.count; ++i) {
    if (!SendPartition(*this, comm, file.get(), plan.partitions[i], staging, *digest)) return 0;
  }
  return 1;
}
