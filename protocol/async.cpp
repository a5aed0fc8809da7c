#include "corvane/protocol/async.h"

#include <cstring>

#include "corvane/protocol/hdlc.h"

CAsync::CAsync() : m_decode(kBufferSize, 0), m_encode(kBufferSize, 0) {}

void CAsync::Reserve(size_t bytes) {
  if (m_encode.size() < bytes) m_encode.resize(bytes);
}

void CAsync::Encode(const uint8_t* data, size_t length, bool leadingFlag) {
  constexpr size_t kMaxPad = 3;
  Reserve(kMaxPad + hdlc::MaxFrameSize(length));
  // Encode after room for the padding; the frame then starts at the first padding flag, so the
  // frame is never moved.
  uint8_t* const frame = m_encode.data() + kMaxPad;
  const size_t frameLength = hdlc::EncodeFrame(data, length, leadingFlag, frame);
  const size_t pad = (4 - frameLength % 4) % 4;
  std::memset(frame - pad, hdlc::kFlag, pad);
  m_nStart = kMaxPad - pad;
  m_nEncoded = pad + frameLength;
}

void CAsync::AppendRaw(const uint8_t* data, size_t length) {
  Reserve(m_nStart + m_nEncoded + length);
  if (length > 0) std::memcpy(m_encode.data() + m_nStart + m_nEncoded, data, length);
  m_nEncoded += length;
}

void CAsync::EncodeRaw(const uint8_t* data, size_t length) {
  m_nStart = 0;
  m_nEncoded = 0;
  AppendRaw(data, length);
  uint8_t fcs[2];
  Checksum(data, length, fcs);
  AppendRaw(fcs, sizeof fcs);
}

void CAsync::Checksum(const uint8_t* data, size_t length, uint8_t out[2]) {
  const uint16_t fcs = hdlc::FrameCheck(data, length);
  out[0] = static_cast<uint8_t>(fcs & 0xFF);
  out[1] = static_cast<uint8_t>(fcs >> 8);
}

bool CAsync::Decode(const uint8_t* data, size_t length) {
  const hdlc::DecodeResult r = hdlc::DecodeFrame(data, length, m_decode.data(), m_decode.size());
  m_nDecoded = r.length;
  return r.good;
}
