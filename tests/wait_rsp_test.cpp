// The response collector, fed byte for byte from the far end of a pseudo-terminal.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/protocol/hdlc.h"
#include "corvane/protocol/misc_util_comm.h"
#include "support/time_scale.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes Frame(const Bytes& body, bool leadingFlag = true) {
  Bytes out(hdlc::MaxFrameSize(body.size()));
  out.resize(hdlc::EncodeFrame(body.data(), body.size(), leadingFlag, out.data()));
  return out;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class WaitRsp : public ::testing::Test {
 protected:
  WaitRsp() : pty_(platform::PseudoTerminal::Create()) {
    if (!link_.SetComPort(platform::BindPort(pty_->Path()))) throw std::runtime_error("open");
  }

  void Send(const Bytes& bytes) {
    size_t written = 0;
    ASSERT_EQ(pty_->Write(bytes.data(), bytes.size(), written, 2000), platform::IoStatus::kOk);
  }
  void SendLater(Bytes bytes, int ms) {
    sender_ = std::thread([this, bytes, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      size_t written = 0;
      pty_->Write(bytes.data(), bytes.size(), written, 2000);
    });
  }
  // Lets what was sent reach the host side before the wait starts (the pseudo-terminal hands a
  // small write over whole).
  void Settle() { link_.GetPortHandle()->WaitReadable(2000); }

  Bytes Decoded() const {
    return Bytes(link_.ResponseBytes(), link_.ResponseBytes() + link_.ResponseLength());
  }

  ~WaitRsp() override {
    if (sender_.joinable()) sender_.join();
  }

  std::unique_ptr<platform::PseudoTerminal> pty_;
  CMiscUtilComm link_;
  std::thread sender_;
};

TEST_F(WaitRsp, LeadingFlagsAreSkippedAndTheFrameDecoded) {
  Send(Join({0x7E, 0x7E, 0x7E}, Frame({0x50, 0x01})));
  link_.WaitRsp(1000);
  ASSERT_EQ(link_.m_bRxState, RX_OK);
  EXPECT_EQ(Decoded().size(), 4u);  // body and check sequence
  EXPECT_EQ(Decoded()[0], 0x50);
}

TEST_F(WaitRsp, ResponseSplitAcrossReadsIsAssembled) {
  const Bytes frame = Frame({0x50, 0x7E, 0x7D, 0x33});
  Send(Bytes(frame.begin(), frame.begin() + 3));
  SendLater(Bytes(frame.begin() + 3, frame.end()), 50);
  link_.WaitRsp(2000);
  ASSERT_EQ(link_.m_bRxState, RX_OK);
  const Bytes decoded = Decoded();
  ASSERT_EQ(decoded.size(), 6u);
  EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 4), (Bytes{0x50, 0x7E, 0x7D, 0x33}));
}

TEST_F(WaitRsp, FrameEndingExactlyAtTheEndOfAReadChunkEndsTheWaitAtOnce) {
  const Bytes frame = Frame({0x50, 0x02});
  Bytes chunk(CMiscUtilComm::kChunkSize - frame.size(), 0x7E);
  chunk = Join(chunk, frame);
  ASSERT_EQ(chunk.size(), CMiscUtilComm::kChunkSize);
  Send(chunk);
  Settle();
  const uint64_t t0 = platform::TickCount();
  link_.WaitRsp(5000);
  EXPECT_EQ(link_.m_bRxState, RX_OK);
  EXPECT_LT(platform::TickCount() - t0, 5000u);  // before the time-out
}

TEST_F(WaitRsp, LaterFrameInTheSameChunkReplacesTheFirst) {
  Send(Join(Frame({0x51}), Frame({0x50, 0x09})));
  Settle();
  link_.WaitRsp(1000);
  ASSERT_EQ(link_.m_bRxState, RX_OK);
  EXPECT_EQ(Decoded()[0], 0x50);
  EXPECT_EQ(Decoded()[1], 0x09);
}

TEST_F(WaitRsp, GoodFrameFollowedOnlyByIdleFlagsIsTheAnswer) {
  Send(Join(Frame({0x50}), {0x7E, 0x7E}));
  Settle();
  link_.WaitRsp(1000);
  EXPECT_EQ(link_.m_bRxState, RX_OK);
}

TEST_F(WaitRsp, GoodFrameFollowedByAnUnfinishedOneWaitsForItsEnd) {
  Send(Join(Frame({0x51}), {0x7E, 0x50}));
  Settle();
  link_.WaitRsp(150);
  EXPECT_EQ(link_.m_bRxState, RX_TIMEOUT);
}

TEST_F(WaitRsp, WrongCheckAndDanglingEscapeAreCrcErrors) {
  Bytes bad = Frame({0x50, 0x10});
  bad[bad.size() - 2] ^= 0x01;
  Send(bad);
  link_.WaitRsp(1000);
  EXPECT_EQ(link_.m_bRxState, RX_CRC_ERROR);
  Send({0x7E, 0x50, 0x11, 0x7D, 0x7E});
  link_.WaitRsp(1000);
  EXPECT_EQ(link_.m_bRxState, RX_CRC_ERROR);
}

TEST_F(WaitRsp, FrameLongerThanTheReceiveBufferIsDroppedAsBad) {
  std::thread writer([this] {
    Bytes big(CAsync::kBufferSize + 5000, 0x41);
    big.push_back(0x7E);
    size_t written = 0;
    pty_->Write(big.data(), big.size(), written, 10000);
  });
  link_.WaitRsp(5000);
  writer.join();
  EXPECT_EQ(link_.m_bRxState, RX_CRC_ERROR);
  // The link is still usable afterwards.
  Send(Frame({0x50}));
  link_.WaitRsp(1000);
  EXPECT_EQ(link_.m_bRxState, RX_OK);
}

TEST_F(WaitRsp, StreamWithoutFlagsTimesOutOnceItStops) {
  Send(Bytes(2000, 0x55));
  link_.WaitRsp(100);
  EXPECT_EQ(link_.m_bRxState, RX_TIMEOUT);
}

TEST_F(WaitRsp, AnswerArrivingDuringTheWaitIsSeenWithoutWaitingOutThePollStep) {
  SendLater(Frame({0x50}), 20);
  link_.WaitRsp(2000);
  EXPECT_EQ(link_.m_bRxState, RX_OK);
}

TEST_F(WaitRsp, VanishedDeviceEndsTheWaitAtOnce) {
  testing_support::ScopedTimeScale fast(0.01);
  pty_->Close();
  const uint64_t t0 = platform::TickCount();
  link_.WaitRsp(400000);  // an erase-sized time-out
  EXPECT_EQ(link_.m_bRxState, RX_TIMEOUT);
  EXPECT_EQ(link_.GetOpenFlag(), 0);
  EXPECT_LT(platform::TickCount() - t0, 400000u);  // ended by the loss, not the time-out
}

}  // namespace
