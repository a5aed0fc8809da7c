#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/export.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/reporter.h"
#include "corvane/protocol/async.h"
#include "corvane/protocol/packets.h"
#include "corvane/serial/com_mngr.h"

// The packet layer of one phone link: framed boot-loader transactions and DIAG/DLOAD exchanges.
//
// Every transaction returns kTxOk (1) or kTxFail (23); AsyncTxRxEx and AsyncTxRxExFile return
// kTxBadFrame (0) for an answer that failed its check. Failures send a status text to the parent
// window (none when it is null).
class CORVANE_API CMiscUtilComm : public CComMngr {
 public:
  static constexpr size_t kChunkSize = 1024;

  CMiscUtilComm();
  ~CMiscUtilComm() override;

  // The window also carries the run's cancellation: closing it ends this link's exchanges.
  void SetParentHandle(platform::WindowHandle window) {
    m_Report.SetWindow(window);
    SetCancellation(platform::CancellationOf(window));
  }
  platform::WindowHandle GetParentHandle() const { return m_Report.Window(); }

  // Collects one response frame; the outcome is left in m_bRxState.
  void WaitRsp(uint32_t timeoutMs);

  // Boot loader: one command (normally a 14-byte header), one answer.
  int AsyncTxRxEx(const void* request, prot_rsp_t* response, size_t length, uint32_t timeoutMs);
  // Boot loader: a header frame followed by raw payload bytes, one answer. `response` is not
  // filled: the answer is read in the decode buffer.
  int AsyncTxRxExFile(const void* header, prot_rsp_t* response, size_t headerLength,
                      const void* payload, size_t payloadLength, uint32_t timeoutMs);
  // Raw bytes, no answer.
  int AsyncTxExFile(const void* ignored1, const void* ignored2, size_t length, const void* buffer);
  // A framed request, then the raw bytes that follow it, until nothing more arrives for 150 ms
  // or `destinationLength` bytes have arrived. The time-out does not shorten the collection.
  int AsyncRxFile(const void* request, void* ignoredResponse, size_t requestLength,
                  void* destination, size_t destinationLength, uint32_t timeoutMs);
  // How many bytes the last AsyncRxFile collected.
  size_t LastRxFileCount() const { return m_nRxFileCount; }

  // DIAG: framed request, framed answer.
  int AsyncTxRx(const void* request, diag_rsp_type* response, size_t length, uint32_t timeoutMs,
                int leadingFlag);
  // DLOAD: raw request with its check sequence, framed answer.
  int MDMAsyncTxRx(const void* request, diag_rsp_type* response, size_t length, uint32_t timeoutMs);
  // DLOAD: raw request with its check sequence, no answer (the phone resets or leaves).
  int MDMAsyncTx(const void* request, void* ignoredResponse, size_t length);

  // The answer of the last transaction, FCS bytes included.
  const uint8_t* ResponseBytes() const { return m_pAsync->Decoded(); }
  size_t ResponseLength() const { return m_pAsync->DecodedCount(); }
  CAsync* GetCodec() const { return m_pAsync.get(); }
  const std::string& GetStatusText() const { return m_Report.LastText(); }

  // Sends `text` to the parent window as a status line (nothing when there is none).
  void SendStatus(const char* text) { m_Report.Text(text); }

  int32_t m_bRxState = RX_TIMEOUT;

 private:
  // Raw bytes that follow the encoded frame on the wire, sent from the caller's buffer as they
  // are (a 512 KiB block is not copied behind its header first).
  struct RawTail {
    const uint8_t* data = nullptr;
    size_t length = 0;
  };
  // Purge, the wake-up bytes (if any) and their flush, the encoded frame, its raw tail.
  void SendEncoded(const uint8_t* preamble, size_t preambleLength, RawTail tail);
  // The same, then the pause and the wait for the answer.
  void SendEncodedAndWait(const uint8_t* preamble, size_t preambleLength, uint32_t pauseMs,
                          uint32_t timeoutMs, RawTail tail);
  bool DrainThenDiscardInput();
  void CollectRawInto(uint8_t* out, size_t length);
  // Feeds one chunk to the frame collector; true when WaitRsp is done.
  bool CollectChunk(size_t count);
  bool FinishFrame(bool lastOfChunk);
  uint8_t ResponseCode() const;

  Reporter m_Report;
  uint8_t m_pRxChunk[kChunkSize] = {};
  std::unique_ptr<CAsync> m_pAsync;

  // Frame collector state of WaitRsp: the non-flag bytes of the frame being received.
  std::vector<uint8_t> m_rxFrame;
  bool m_bRxMark = false;
  bool m_bRxOverflow = false;
  bool m_bGoodFrameHeld = false;
  size_t m_nRxFileCount = 0;
};
