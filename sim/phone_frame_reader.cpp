#include "sim/phone_frame_reader.h"

#include <algorithm>

#include "corvane/protocol/hdlc.h"

namespace phonesim {

void FrameReader::Reset() {
  dropped_ += buffer_.size() + packet_.payload.size();
  state_ = State::kIdle;
  buffer_.clear();
  truncated_ = false;
  wanted_ = 0;
  packet_ = Packet{};
}

void FrameReader::Feed(const uint8_t* data, size_t length, std::vector<Packet>& out) {
  for (size_t i = 0; i < length; ++i) {
    switch (state_) {
      case State::kIdle:
        OnIdle(data[i], out);
        break;
      case State::kFrame:
        OnFrame(data[i], out);
        break;
      case State::kPayload: {
        // Payload bytes arrive in bulk: take as many as are wanted at once.
        const size_t take = std::min(wanted_, length - i);
        packet_.payload.insert(packet_.payload.end(), data + i, data + i + take);
        wanted_ -= take;
        i += take - 1;
        if (wanted_ == 0) Emit(out);
        break;
      }
      case State::kRaw:
        OnRaw(data[i], out);
        break;
    }
  }
}

void FrameReader::OnIdle(uint8_t b, std::vector<Packet>& out) {
  if (b == hdlc::kFlag) {
    state_ = State::kFrame;
    buffer_.clear();
    return;
  }
  const uint8_t first[] = {b};
  if (sizer_.RawLength(first, 1) == PacketSizer::kNoRaw) {
    ++dropped_;
    return;
  }
  state_ = State::kRaw;
  buffer_.clear();
  OnRaw(b, out);
}

void FrameReader::OnFrame(uint8_t b, std::vector<Packet>& out) {
  if (b != hdlc::kFlag) {
    if (buffer_.size() < 2 * kMaxPacket) {
      buffer_.push_back(b);
    } else {
      truncated_ = true;
    }
    return;
  }
  if (buffer_.empty()) return;  // leading flags
  EndFrame(out);
}

void FrameReader::EndFrame(std::vector<Packet>& out) {
  std::vector<uint8_t> decoded(buffer_.size());
  const hdlc::DecodeResult r =
      hdlc::DecodeFrame(buffer_.data(), buffer_.size(), decoded.data(), decoded.size());
  const bool truncated = truncated_;
  buffer_.clear();
  truncated_ = false;
  state_ = State::kIdle;
  if (r.length < 3 && !r.good) {
    // A runt such as the wake-up byte between flags: the flag that ended it opens the next
    // frame, which may bring no opening flag of its own.
    dropped_ += r.length;
    state_ = State::kFrame;
    return;
  }
  packet_ = Packet{};
  packet_.framed = true;
  packet_.checkOk = r.good && !truncated;
  const size_t bodyLength = r.length >= 2 ? r.length - 2 : 0;
  packet_.body.assign(decoded.begin(), decoded.begin() + static_cast<long>(bodyLength));
  wanted_ = packet_.checkOk ? std::min(sizer_.PayloadLength(packet_.body), kMaxPacket) : 0;
  if (wanted_ > 0) {
    packet_.payload.reserve(wanted_);
    state_ = State::kPayload;
    return;
  }
  Emit(out);
}

void FrameReader::OnRaw(uint8_t b, std::vector<Packet>& out) {
  buffer_.push_back(b);
  const size_t n = buffer_.size();
  const size_t total = sizer_.RawLength(buffer_.data(), n);
  bool complete = false;
  if (total == PacketSizer::kUntilCheck) {
    complete = n >= 3 && hdlc::Fcs16(buffer_.data(), n) == hdlc::kFcsGood;
  } else {
    complete = n >= total;
  }
  if (!complete) {
    if (n >= kMaxPacket) Reset();
    return;
  }
  packet_ = Packet{};
  packet_.framed = false;
  packet_.checkOk = n >= 3 && hdlc::Fcs16(buffer_.data(), n) == hdlc::kFcsGood;
  packet_.body.assign(buffer_.begin(), buffer_.end() - (n >= 2 ? 2 : 0));
  buffer_.clear();
  Emit(out);
}

void FrameReader::Emit(std::vector<Packet>& out) {
  out.push_back(std::move(packet_));
  packet_ = Packet{};
  state_ = State::kIdle;
  wanted_ = 0;
}

}  // namespace phonesim
