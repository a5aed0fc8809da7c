#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "corvane/platform/export.h"

// The frame codec of one link: encodes the frames it sends and decodes the frame it received.
//
// Both buffers are allocated once per link, large enough for a 512 KiB block with its header,
// so that no packet allocates.
class CORVANE_API CAsync {
 public:
  static constexpr size_t kBufferSize = 614400;

  CAsync();

  // Encodes `length` bytes as one frame (with an opening flag if `leadingFlag`) into the encode
  // buffer, then pads the frame in front with flags to a multiple of 4 bytes.
  void Encode(const uint8_t* data, size_t length, bool leadingFlag);

  // Appends bytes unescaped and unframed after the encoded frame (a payload that follows its
  // header on the wire).
  void AppendRaw(const uint8_t* data, size_t length);

  // Puts `length` bytes followed by their check sequence (low byte first) into the encode buffer,
  // unescaped and without flags: how download-mode requests travel.
  void EncodeRaw(const uint8_t* data, size_t length);

  // The complemented FCS-16 of `length` bytes into out[0] (low byte) and out[1] (high byte).
  static void Checksum(const uint8_t* data, size_t length, uint8_t out[2]);

  // Unescapes one frame's contents (flags removed) into the decode buffer and checks its FCS.
  // A frame that does not fit in the decode buffer is bad.
  bool Decode(const uint8_t* data, size_t length);

  const uint8_t* Encoded() const { return m_encode.data() + m_nStart; }
  size_t EncodedLength() const { return m_nEncoded; }
  const uint8_t* Decoded() const { return m_decode.data(); }
  size_t DecodedCount() const { return m_nDecoded; }
  void ResetDecoded() { m_nDecoded = 0; }

 private:
  void Reserve(size_t bytes);

  std::vector<uint8_t> m_decode;
  std::vector<uint8_t> m_encode;
  size_t m_nDecoded = 0;
  size_t m_nEncoded = 0;
  size_t m_nStart = 0;  // where the encoded frame begins in the encode buffer
};
