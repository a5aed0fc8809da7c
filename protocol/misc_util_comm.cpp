#include "corvane/protocol/misc_util_comm.h"

#include <algorithm>
#include <cstring>

#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/protocol/hdlc.h"

namespace {

// Flags and a filler byte that wake a boot loader's receiver before the first frame.
constexpr uint8_t kBootPreamble[] = {0x7E, 0x7E, 0x00};
constexpr uint8_t kDiagPreamble[] = {0x7E, 0x7E, 0x7E};

// Fixed pauses between sending and listening that the phones rely on.
constexpr uint32_t kFramedPauseMs = 1;
constexpr uint32_t kRawRequestPauseMs = 5;
constexpr uint32_t kRawSendOnlyPauseMs = 8;
constexpr uint32_t kRxFileFirstPauseMs = 100;
constexpr uint32_t kRxFilePollMs = 150;

const uint8_t* Bytes(const void* p) { return static_cast<const uint8_t*>(p); }

}  // namespace

CMiscUtilComm::CMiscUtilComm() : m_pAsync(std::make_unique<CAsync>()) {
  m_rxFrame.reserve(CAsync::kBufferSize);
}

CMiscUtilComm::~CMiscUtilComm() = default;

uint8_t CMiscUtilComm::ResponseCode() const {
  return m_pAsync->DecodedCount() > 0 ? m_pAsync->Decoded()[0] : 0;
}

void CMiscUtilComm::WaitRsp(uint32_t timeoutMs) {
  const uint64_t start = platform::TickCount();
  m_rxFrame.clear();
  m_bRxMark = false;
  m_bRxOverflow = false;
  m_bGoodFrameHeld = false;
  m_pAsync->ResetDecoded();
  for (;;) {
    const size_t count = Read(m_pRxChunk, kChunkSize);
    if (count == 0) {
      // A port that closed itself (the phone went away) will never answer, and a cancelled run
      // must not wait for it: stop at once.
      const uint64_t waited = platform::TickCount() - start;
      if (!GetOpenFlag() || IsCancelled() || waited > timeoutMs) {
        m_bRxState = RX_TIMEOUT;
        return;
      }
      // One wait until input, the time-out or the run's cancellation (the port's wait watches
      // it): a phone that takes long over a block does not wake the host every few milliseconds.
      WaitForInput(static_cast<uint32_t>(timeoutMs - waited) + 1);
      continue;
    }
    if (CollectChunk(count)) return;
    m_bRxState = RX_RECEIVING;
  }
}

bool CMiscUtilComm::CollectChunk(size_t count) {
  size_t i = 0;
  while (i < count) {
    const uint8_t* run = m_pRxChunk + i;
    const void* flag = std::memchr(run, hdlc::kFlag, count - i);
    const size_t length = flag ? static_cast<size_t>(Bytes(flag) - run) : count - i;
    if (length > 0) {
      m_bRxMark = true;
      // A frame longer than the receive buffer is cut here and refused when it ends.
      const size_t room = CAsync::kBufferSize - m_rxFrame.size();
      if (length > room) m_bRxOverflow = true;
      m_rxFrame.insert(m_rxFrame.end(), run, run + std::min(length, room));
      i += length;
    }
    if (i == count) break;
    ++i;  // the flag
    if (m_bRxMark && FinishFrame(i == count)) return true;
  }
  // A good frame followed only by idle flags is the answer.
  if (m_bGoodFrameHeld && !m_bRxMark) {
    m_bRxState = RX_OK;
    return true;
  }
  return false;
}

bool CMiscUtilComm::FinishFrame(bool lastOfChunk) {
  bool good = false;
  if (m_bRxOverflow) {
    m_pAsync->ResetDecoded();
  } else {
    good = m_pAsync->Decode(m_rxFrame.data(), m_rxFrame.size());
  }
  if (!good) {
    m_bRxState = RX_CRC_ERROR;
    return true;
  }
  m_bRxState = RX_OK;
  if (lastOfChunk) return true;
  // More bytes follow in this chunk: a later frame replaces this one.
  m_rxFrame.clear();
  m_bRxMark = false;
  m_bGoodFrameHeld = true;
  return false;
}

// A request must not cut off the bytes of the previous one that the phone has not read yet (a
// purge of the output throws them away): the output is drained, bounded by the write time-out,
// and only what arrived unread is discarded. False when the drain did not finish.
bool CMiscUtilComm::DrainThenDiscardInput() {
  const bool drained = Flush();
  ClearInput();
  return drained;
}

// What arrived unread is discarded once, before the wake-up bytes, so that the answer read next
// is this request's.
void CMiscUtilComm::SendEncoded(const uint8_t* preamble, size_t preambleLength, RawTail tail) {
  DrainThenDiscardInput();
  if (preambleLength > 0) {
    Write(preamble, preambleLength);
    Flush();
  }
  if (Write(m_pAsync->Encoded(), m_pAsync->EncodedLength()) != 0 && tail.length > 0) {
    Write(tail.data, tail.length);
  }
}

void CMiscUtilComm::SendEncodedAndWait(const uint8_t* preamble, size_t preambleLength,
                                       uint32_t pauseMs, uint32_t timeoutMs, RawTail tail) {
  SendEncoded(preamble, preambleLength, tail);
  PauseAfterRequest(pauseMs);
  WaitRsp(timeoutMs);
}

int CMiscUtilComm::AsyncTxRxEx(const void* request, prot_rsp_t* response, size_t length,
                               uint32_t timeoutMs) {
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->Encode(Bytes(request), length, true);
  SendEncodedAndWait(kBootPreamble, sizeof kBootPreamble, kFramedPauseMs, timeoutMs, {});
  if (response != nullptr) {
    // Only what this answer carried; the rest of the record is zero.
    const size_t n = std::min(sizeof(prot_rsp_t), m_pAsync->DecodedCount());
    std::memset(response, 0, sizeof(prot_rsp_t));
    std::memcpy(response, m_pAsync->Decoded(), n);
  }
  switch (m_bRxState) {
    case RX_OK:
      if (ResponseCode() == kRspNak) {
        SendStatus("Response is NAK");
        return kTxFail;
      }
      return kTxOk;
    case RX_TIMEOUT:
      SendStatus("Timeout error is occured");
      return kTxFail;
    default:
      SendStatus("Response is not ACK");
      return kTxBadFrame;
  }
}

int CMiscUtilComm::AsyncTxRxExFile(const void* header, prot_rsp_t* /*response*/,
                                   size_t headerLength, const void* payload, size_t payloadLength,
                                   uint32_t timeoutMs) {
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->Encode(Bytes(header), headerLength, true);
  SendEncodedAndWait(nullptr, 0, kFramedPauseMs, timeoutMs, {Bytes(payload), payloadLength});
  switch (m_bRxState) {
    case RX_OK: {
      const uint8_t code = ResponseCode();
      if (code == kRspAck) return kTxOk;
      if (code == kRspNak) {
        SendStatus("Response is NAK");
        return kTxFail;
      }
      if (headerLength > 0 && code == Bytes(header)[0]) return kTxOk;
      SendStatus("Type mismatch error");
      return kTxFail;
    }
    case RX_TIMEOUT:
      SendStatus("Timeout error is occured");
      return kTxFail;
    default:
      return kTxBadFrame;
  }
}

int CMiscUtilComm::AsyncTxExFile(const void* /*ignored1*/, const void* /*ignored2*/, size_t length,
                                 const void* buffer) {
  if (!GetOpenFlag()) return kTxFail;
  if (!DrainThenDiscardInput()) SendStatus("AsyncTxExFile Error");
  // Nothing answers a raw send, so a write that failed must say so here.
  return Write(buffer, length) ? kTxOk : kTxFail;
}

int CMiscUtilComm::AsyncRxFile(const void* request, void* /*ignoredResponse*/, size_t requestLength,
                               void* destination, size_t destinationLength,
                               uint32_t /*timeoutMs*/) {
  m_nRxFileCount = 0;
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->Encode(Bytes(request), requestLength, true);
  SendEncoded(kBootPreamble, sizeof kBootPreamble, {});
  platform::SleepMs(kRxFileFirstPauseMs, GetCancellation());
  CollectRawInto(static_cast<uint8_t*>(destination), destinationLength);
  return kTxOk;
}

// Reads straight into the destination whatever is queued, up to what is left; the collection
// ends when the port stays silent for the poll interval (or closes). Bytes beyond the destination
// are discarded.
void CMiscUtilComm::CollectRawInto(uint8_t* out, size_t length) {
  while (m_nRxFileCount < length) {
    size_t count = Read(out + m_nRxFileCount, length - m_nRxFileCount);
    if (count == 0) {
      WaitForInput(kRxFilePollMs);
      count = Read(out + m_nRxFileCount, length - m_nRxFileCount);
      if (count == 0) return;
    }
    m_nRxFileCount += count;
  }
  ClearInput();
}

int CMiscUtilComm::AsyncTxRx(const void* request, diag_rsp_type* /*response*/, size_t length,
                             uint32_t timeoutMs, int leadingFlag) {
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->Encode(Bytes(request), length, leadingFlag != 0);
  SendEncodedAndWait(kDiagPreamble, sizeof kDiagPreamble, kFramedPauseMs, timeoutMs, {});
  switch (m_bRxState) {
    case RX_OK: {
      const uint8_t code = ResponseCode();
      if ((length > 0 && code == Bytes(request)[0]) || code == kDloadAck) return kTxOk;
      if (code == kDloadNak) SendStatus("Response is NAK");
      return kTxFail;
    }
    case RX_TIMEOUT:
      SendStatus("Timeout error is occured");
      return kTxFail;
    case RX_CRC_ERROR:
      SendStatus("CRC error");
      return kTxFail;
    default:
      return kTxFail;
  }
}

int CMiscUtilComm::MDMAsyncTxRx(const void* request, diag_rsp_type* /*response*/, size_t length,
                                uint32_t timeoutMs) {
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->EncodeRaw(Bytes(request), length);
  DrainThenDiscardInput();
  Write(m_pAsync->Encoded(), m_pAsync->EncodedLength());
  PauseAfterRequest(kRawRequestPauseMs);
  WaitRsp(timeoutMs);
  switch (m_bRxState) {
    case RX_OK: {
      const uint8_t code = ResponseCode();
      if ((length > 0 && code == Bytes(request)[0]) || code == kDloadAck) return kTxOk;
      SendStatus(code == kDloadNak ? "Response is NAK" : "Response is anonymous");
      return kTxFail;
    }
    case RX_TIMEOUT:
      SendStatus("Timeout error is occured");
      return kTxFail;
    case RX_CRC_ERROR:
      SendStatus("CRC error is occured");
      return kTxFail;
    default:
      SendStatus("m_bRxState != RX_OK");
      return kTxFail;
  }
}

int CMiscUtilComm::MDMAsyncTx(const void* request, void* /*ignoredResponse*/, size_t length) {
  if (!GetOpenFlag()) return kTxFail;
  m_pAsync->EncodeRaw(Bytes(request), length);
  DrainThenDiscardInput();
  const int written = Write(m_pAsync->Encoded(), m_pAsync->EncodedLength());
  platform::SleepMs(kRawSendOnlyPauseMs, GetCancellation());
  return written ? kTxOk : kTxFail;
}
