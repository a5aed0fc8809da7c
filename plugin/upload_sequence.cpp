// Upload: a range of the phone's memory read back into a file. The boot loader takes a read
// set-up (address and length in sectors) and then hands out the range block by block, each block
// as raw bytes after its request.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/path.h"
#include "corvane/platform/process.h"
#include "plugin/model_module.h"

namespace {

constexpr uint8_t kReadSetup = 0x08;
constexpr uint8_t kBlockRead = 0x05;
constexpr size_t kRequestLength = 14;
constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kBlockSectors = 128;  // 64 KiB a block
constexpr size_t kReceiveBuffer = 65636;
constexpr uint32_t kUnusedTimeoutMs = 300000;  // the collection ends at the first empty read
constexpr uint32_t kSettleMs = 2000;

intptr_t Percent(uint32_t done, uint32_t total) {
  // Nothing to read is all read.
  return total == 0 ? 100 : static_cast<intptr_t>(uint64_t{done} * 100 / total);
}

// A block counts only when all of it arrived: a phone that stopped sending early must not leave
// the rest of the buffer in the file as if it were memory.
bool ReadBlock(CMiscUtilComm* link, std::ofstream& out, std::vector<uint8_t>& buffer,
               uint32_t length) {
  uint8_t request[kRequestLength] = {kBlockRead};
  bytes::StoreLe32(request + 2, length);
  if (link->AsyncRxFile(request, nullptr, sizeof request, buffer.data(), length,
                        kUnusedTimeoutMs) != kTxOk) {
    return false;
  }
  const size_t got = std::min<size_t>(link->LastRxFileCount(), length);
  out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(got));
  return got == length && out.good();
}

// A regular file (or none yet) is written beside itself and renamed into place; a device or a
// pipe is written as it is, since it cannot be replaced.
std::string WritePathFor(const std::string& outPath) {
  std::error_code ec;
  const auto status = std::filesystem::status(platform::PathOf(outPath), ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return outPath;
  return outPath + ".part" + std::to_string(platform::ProcessId());
}

bool Replace(const std::string& from, const std::string& to) {
  if (from == to) return true;
  std::error_code ec;
  std::filesystem::rename(platform::PathOf(from), platform::PathOf(to), ec);
  return !ec;
}

}  // namespace

int CModelModule::UploadStart(platform::WindowHandle window, uint8_t port,
                              const std::string& outPath, uint32_t sectors, uint32_t address,
                              uint32_t timeout) {
  if (!OpenPortAfresh(window, port, timeout)) return 0;
  SendText("Upload file is creating...");
  // The memory goes to a file beside the target, which replaces the target only once all of it
  // arrived: a phone that never answers must not cost the user the file that was there.
  const std::string writeTo = WritePathFor(outPath);
  std::ofstream out(writeTo, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    SendCode(notify::kProgressFailed);
    SendText(("We can't make specific file" + outPath).c_str());
    return 0;
  }
  StepScope step(Steps(), notify::StepKind::kUpload, 0, uint64_t{sectors} * kSectorBytes,
                 platform::BareName(outPath));
  if (!ReadMemoryInto(out, sectors, address, timeout) || !Replace(writeTo, outPath)) {
    out.close();
    std::error_code ec;
    if (writeTo != outPath) std::filesystem::remove(platform::PathOf(writeTo), ec);
    SendText("error!");
    SendCode(notify::kProgressFailed);
    return 0;
  }
  step.Done(true);
  platform::SleepMs(kSettleMs, m_Report.RunCancellation());
  Link()->Close();
  SendText("Upload complete");
  SendCode(notify::kProgressComplete);
  platform::ShowMessageBox("Done!");
  return 1;
}

// Only an acknowledged set-up starts the reads: a corrupt answer may have been a refusal.
bool CModelModule::ReadMemoryInto(std::ofstream& out, uint32_t sectors, uint32_t address,
                                  uint32_t timeout) {
  uint8_t setup[kRequestLength] = {kReadSetup};
  bytes::StoreLe32(setup + 2, address);
  bytes::StoreLe32(setup + 6, sectors);
  if (Link()->AsyncTxRxEx(setup, nullptr, sizeof setup, timeout) != kTxOk) return false;
  std::vector<uint8_t> buffer(kReceiveBuffer);
  uint32_t remaining = sectors;
  uint32_t done = 0;
  while (remaining >= kBlockSectors) {
    if (!ReadBlock(Link(), out, buffer, kBlockSectors * kSectorBytes)) return false;
    done += kBlockSectors;
    remaining -= kBlockSectors;
    Flash()->Report().StepAdvance(uint64_t{kBlockSectors} * kSectorBytes);
    SendCode(Percent(done, sectors));
  }
  if (!ReadBlock(Link(), out, buffer, remaining * kSectorBytes)) return false;
  Flash()->Report().StepAdvance(uint64_t{remaining} * kSectorBytes);
  SendCode(Percent(done + remaining, sectors));
  out.close();
  return !out.fail();
}
