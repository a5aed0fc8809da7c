// The modem's NAND partitions from the MDM image: erase, initialise, write in chunks (each chunk a
// raw data request followed by an address-and-length commit), finalise. The phone answers only
// the commits; a commit that keeps failing makes the chunk go again.

#include <algorithm>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/os_version.h"
#include "plugin/model_module.h"

namespace {

constexpr uint8_t kDataRequest = 0x4E;
constexpr uint8_t kCommitRequest = 0x41;
constexpr size_t kDataHeader = 6;
constexpr size_t kCommitLength = 9;

constexpr uint32_t kChunkBytes = 4 * mdm::kPageBytes;  // 8448
constexpr uint32_t kChunkBytesOnOldSystems = 1024;
constexpr unsigned kOldSystemMajor = 5;

constexpr int kDataTries = 5;
constexpr int kCommitTries = 5;
constexpr int kRollbacks = 5;
constexpr uint32_t kDataRetryPauseMs = 500;

// Slots 4 to 7 go first, then 0 to 3.
constexpr size_t kSlotOrder[] = {4, 5, 6, 7, 0, 1, 2, 3};

// Where one partition's write stands.
struct NandWrite {
  const mdm::Slot& slot;
  uint32_t address;       // NAND address of the next commit
  uint32_t position = 0;  // in the slot's buffer
  uint32_t remaining;
  uint32_t chunk;  // bytes of the chunk on its way
  uint32_t limit;  // the largest chunk
  int rollbacks = 0;

  NandWrite(const mdm::Slot& s, uint32_t chunkLimit)
      : slot(s),
        address(s.address),
        remaining(s.size),
        chunk(std::min(chunkLimit, s.size)),
        limit(chunkLimit) {}
};

uint32_t ChunkLimit() {
  return platform::GetOsVersion().major < kOldSystemMajor ? kChunkBytesOnOldSystems : kChunkBytes;
}

// The offset field counts bytes sent since the last commit: always 0, as every chunk is committed.
bool SendData(CMiscUtilComm* link, const NandWrite& w, std::vector<uint8_t>& request) {
  request.assign(kDataHeader, 0);
  request[0] = kDataRequest;
  request[4] = static_cast<uint8_t>(w.chunk >> 8);
  request[5] = static_cast<uint8_t>(w.chunk);
  const uint8_t* from = w.slot.data.data() + w.position;
  request.insert(request.end(), from, from + w.chunk);
  for (int attempt = 1;; ++attempt) {
    if (link->MDMAsyncTx(request.data(), nullptr, request.size()) != kTxFail) return true;
    if (attempt == kDataTries) return false;
    platform::SleepMs(kDataRetryPauseMs, link->GetCancellation());
  }
}

bool Commit(CModelFlash& flash, CMiscUtilComm* link, const NandWrite& w) {
  uint8_t request[kCommitLength] = {kCommitRequest};
  bytes::StoreBe32(request + 1, w.address);
  bytes::StoreBe32(request + 5, w.chunk);
  for (int attempt = 0; attempt < kCommitTries; ++attempt) {
    if (link->MDMAsyncTxRx(request, nullptr, sizeof request, flash.GetDefaultTimeout()) == kTxOk) {
      return true;
    }
    flash.SendText("We retry to set NAND Address or Length!");
  }
  return false;
}

int FailWrite(CModelFlash& flash, const char* text) {
  flash.SendText(text);
  flash.SendCode(notify::kProgressFailed);
  return 0;
}

intptr_t Percent(uint32_t done, uint32_t total) {
  return static_cast<intptr_t>(uint64_t{done} * 100 / total);
}

}  // namespace

int CModelModule::ProgramNandPartitions() {
  for (size_t slot : kSlotOrder) {
    if (!Flash()->m_bSlotEnable[slot]) continue;
    const int result = ProgramNandSlot(slot);
    if (result != 1) return result;
  }
  return 1;
}

int CModelModule::ProgramNandSlot(size_t index) {
  CModelFlash& flash = *Flash();
  const mdm::Slot& slot = Files()->m_Partitions.slots[index];
  const std::string& name = Files()->m_Partitions.names[index];
  flash.SendTextF("Erase Partition: %s", name.c_str());
  flash.SendTextF("Erase Address: 0x%x,  Size : 0x%x", slot.address, slot.size);
  if (!EraseNandSlot(index)) return 0;
  flash.SendText("Erase complete");
  if (slot.size == 0) return 1;
  flash.SendText("NAND Flash Initialize");
  if (!flash.MDMNandFlashInit(slot.address / mdm::kBlockBytes, Link())) return 0;
  flash.SendText("Start flash write");
  if (!WriteNandSlot(slot)) {
    flash.SendTextF("Fail : Write %s", name.c_str());
    return 0;
  }
  flash.SendText("Finalize NAND Flash");
  if (!flash.MDMNandFlashFinalize(Link())) {
    flash.SendTextF("Fail : Finalize %s", name.c_str());
    return 0;
  }
  return 1;
}

// The range ends where the next slot starts. The slot after the last partition carries the end of
// NAND and the slots after it carry nothing; a slot without data whose next slot starts lower
// (that end slot among them) gets an empty range rather than one running backwards.
bool CModelModule::EraseNandSlot(size_t index) {
  CModelFlash& flash = *Flash();
  const mdm::Slot& slot = Files()->m_Partitions.slots[index];
  const uint32_t first = slot.address / mdm::kBlockBytes;
  uint32_t end = Files()->m_Partitions.slots[index + 1].address / mdm::kBlockBytes;
  if (slot.size == 0 && end < first) end = first;
  const char* name = Files()->m_Partitions.names[index].c_str();
  for (int attempt = 1; attempt <= 2; ++attempt) {
    if (flash.MDMDownLoadErase(first, end, Link())) return true;
    flash.SendTextF("Fail : Partition Erase %s Retry %d", name, attempt);
  }
  flash.SendCode(notify::kProgressFailed);
  return false;
}

// A chunk whose commit fails five times is sent again from its first byte, at most five times.
// Progress counts the partition's bytes, so a chunk sent again is counted once: a running total
// of everything sent would pass 100 and reach the phase codes (200 reads as a failure).
int CModelModule::WriteNandSlot(const mdm::Slot& slot) {
  CModelFlash& flash = *Flash();
  if (slot.data.size() < slot.size) return FailWrite(flash, "We can't write in NAND");
  NandWrite w(slot, ChunkLimit());
  std::vector<uint8_t> request;
  request.reserve(kDataHeader + w.limit);
  flash.SendCode(0);
  flash.Report().AddToPlan(slot.size);
  while (w.remaining > 0) {
    if (!SendData(Link(), w, request)) return FailWrite(flash, "We can't write in NAND");
    w.position += w.chunk;
    w.remaining -= w.chunk;
    flash.SendCode(Percent(w.position, slot.size));
    if (!Commit(flash, Link(), w)) {
      w.position -= w.chunk;
      w.remaining += w.chunk;
      if (++w.rollbacks == kRollbacks) {
        return FailWrite(flash, "We can't set NAND Address or Length!");
      }
      w.chunk = std::min(w.remaining, w.limit);
      continue;
    }
    flash.Report().StepAdvance(w.chunk);
    w.address += w.chunk;
    w.rollbacks = 0;
    if (w.remaining < w.chunk) w.chunk = w.remaining;
  }
  flash.SendCode(100);
  return 1;
}
