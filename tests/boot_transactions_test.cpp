// Boot-loader transactions against a simulated phone over a pseudo-terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>
#include <vector>

#include "support/fake_device.h"
#include "support/scripted_phone.h"
#include "support/time_scale.h"
#include "support/wait.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::Reply;
using testing_support::BootHeader;
using testing_support::LinkFixture;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTimeout = 300;

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
  return b;
}

class BootTransactions : public ::testing::Test {
 protected:
  int TxRx(uint8_t command, prot_rsp_t* response = nullptr) {
    const Bytes h = BootHeader(command);
    return f.link.AsyncTxRxEx(h.data(), response, h.size(), kTimeout);
  }
  int TxRxFile(uint8_t command, const Bytes& payload) {
    const Bytes h = BootHeader(command, static_cast<uint32_t>(payload.size()));
    return f.link.AsyncTxRxExFile(h.data(), nullptr, h.size(), payload.data(), payload.size(),
                                  kTimeout);
  }
  void Fail(FaultKind kind, Fault extra = {}) {
    extra.kind = kind;
    f.phone->InjectFault(extra);
  }

  LinkFixture f;
};

TEST_F(BootTransactions, AcknowledgedCommandSucceedsSilentlyAndArrivesOnceIntact) {
  EXPECT_EQ(TxRx(0x89), kTxOk);
  EXPECT_TRUE(f.window.Texts().empty());
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), 1u);  // the wake-up bytes are no request
  EXPECT_TRUE(requests[0].framed);
  EXPECT_TRUE(requests[0].checkOk);
  EXPECT_EQ(requests[0].body, BootHeader(0x89));
}

TEST_F(BootTransactions, RefusalIsNak) {
  Fail(FaultKind::kRefuse);
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  EXPECT_EQ(f.window.Texts(), Lines{"Response is NAK"});
}

TEST_F(BootTransactions, SilenceIsATimeOut) {
  Fail(FaultKind::kSilent);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(kTimeout));
  EXPECT_EQ(f.window.Texts(), Lines{"Timeout error is occured"});
}

TEST_F(BootTransactions, CorruptAnswerIsNotAckAndReturnsZero) {
  Fail(FaultKind::kBadCheck);
  EXPECT_EQ(TxRx(0x6C), kTxBadFrame);
  EXPECT_EQ(f.window.Texts(), Lines{"Response is not ACK"});
}

TEST_F(BootTransactions, GarbageThatNeverFormsAFrameTimesOut) {
  Fail(FaultKind::kGarbage, Fault{.garbageBytes = 3000});
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  EXPECT_EQ(f.window.Texts(), Lines{"Timeout error is occured"});
}

TEST_F(BootTransactions, LateAnswerWithinTheTimeOutIsTakenBeyondItIsNot) {
  Fail(FaultKind::kLate, Fault{.delayMs = kTimeout / 3});
  EXPECT_EQ(TxRx(0x6C), kTxOk);
  Fail(FaultKind::kLate, Fault{.delayMs = kTimeout * 2});
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  EXPECT_EQ(f.window.Texts(), Lines{"Timeout error is occured"});
}

TEST_F(BootTransactions, DataAnswerSucceedsAndFillsTheResponseRecord) {
  f.Script().SetAnswer([](const phonesim::Packet& p) {
    return Reply::Frame({p.Command(), 'T', 'Q', '4', '4', '1', '0'});
  });
  prot_rsp_t response;
  std::memset(&response, 0xCC, sizeof response);
  EXPECT_EQ(TxRx(0x72, &response), kTxOk);
  EXPECT_EQ(response.code, 0x72);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(response.data), 6), "TQ4410");
  // Beyond what the answer carried (its 2 check bytes included) the record is zero, not stale.
  for (size_t i = 8; i < sizeof response.data; ++i) EXPECT_EQ(response.data[i], 0) << i;
  EXPECT_TRUE(f.window.Texts().empty());
}

TEST_F(BootTransactions, ClosedPortFailsAtOnceWithoutTextOrTraffic) {
  f.link.Close();
  EXPECT_EQ(TxRx(0x89), kTxFail);
  EXPECT_EQ(TxRxFile(0x61, Bytes(16, 1)), kTxFail);
  EXPECT_TRUE(f.window.Texts().empty());
  EXPECT_TRUE(f.phone->Requests().empty());
}

TEST_F(BootTransactions, NoParentWindowMeansNoMessages) {
  f.link.SetParentHandle(nullptr);
  Fail(FaultKind::kRefuse);
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  Fail(FaultKind::kSilent);
  EXPECT_EQ(TxRx(0x6C), kTxFail);
  EXPECT_TRUE(f.window.Messages().empty());
}

TEST_F(BootTransactions, PhoneVanishingMidAnswerClosesTheLinkAndLaterCallsFailAtOnce) {
  testing_support::ScopedTimeScale fast(0.05);
  Fail(FaultKind::kVanish, Fault{.afterBytes = 2});
  EXPECT_EQ(f.link.AsyncTxRxEx(BootHeader(0x6F).data(), nullptr, 14, 400000), kTxFail);
  EXPECT_EQ(f.window.Texts(), Lines{"Timeout error is occured"});
  EXPECT_EQ(f.link.GetOpenFlag(), 0);
  EXPECT_EQ(TxRx(0x6F), kTxFail);
  EXPECT_EQ(f.window.Texts().size(), 1u);  // no second time-out: nothing was waited for
}

TEST_F(BootTransactions, HeaderWithPayloadDeliversThePayloadUnescaped) {
  f.Script().SetPayloadLength(
      [](const Bytes& h) { return static_cast<size_t>(h[6] | h[7] << 8 | h[8] << 16); });
  Bytes received;
  f.Script().SetAnswer([&](const phonesim::Packet& p) {
    received = p.payload;
    return Reply::Ack();
  });
  Bytes payload = Pattern(2048, 3);
  payload[0] = 0x7E;
  payload[1] = 0x7D;
  EXPECT_EQ(TxRxFile(0x61, payload), kTxOk);
  f.phone->WithPersonality([](phonesim::Personality&) {});  // the phone is done with it
  EXPECT_EQ(received, payload);
  EXPECT_TRUE(f.window.Texts().empty());
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].payloadLength, payload.size());
}

TEST_F(BootTransactions, HalfMegabyteBlockOfFlagBytesArrivesWhole) {
  f.Script().SetPayloadLength(
      [](const Bytes& h) { return static_cast<size_t>(h[6] | h[7] << 8 | h[8] << 16); });
  size_t count = 0;
  bool allFlags = false;
  f.Script().SetAnswer([&](const phonesim::Packet& p) {
    count = p.payload.size();
    allFlags = std::all_of(p.payload.begin(), p.payload.end(), [](uint8_t b) { return b == 0x7E; });
    return Reply::Ack();
  });
  EXPECT_EQ(TxRxFile(0x8B, Bytes(512 * 1024, 0x7E)), kTxOk);
  f.phone->WithPersonality([](phonesim::Personality&) {});
  EXPECT_EQ(count, 512u * 1024u);
  EXPECT_TRUE(allFlags);
}

TEST_F(BootTransactions, FileTransferOutcomes) {
  struct Case {
    const char* name;
    std::function<Reply(const phonesim::Packet&)> answer;
    FaultKind fault;
    bool injectFault;
    int result;
    Lines texts;
  };
  const std::vector<Case> cases = {
      {"echo of the command",
       [](const phonesim::Packet& p) { return Reply::Frame({p.Command()}); },
       FaultKind::kSilent,
       false,
       kTxOk,
       {}},
      {"other code",
       [](const phonesim::Packet&) { return Reply::Frame({0x33}); },
       FaultKind::kSilent,
       false,
       kTxFail,
       {"Type mismatch error"}},
      {"refusal", nullptr, FaultKind::kRefuse, true, kTxFail, {"Response is NAK"}},
      {"silence", nullptr, FaultKind::kSilent, true, kTxFail, {"Timeout error is occured"}},
      {"corrupt answer", nullptr, FaultKind::kBadCheck, true, kTxBadFrame, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.window.Clear();
    f.Script().SetAnswer(c.answer);
    if (c.injectFault) Fail(c.fault);
    EXPECT_EQ(TxRxFile(0x6C, Bytes(64, 0x11)), c.result);
    EXPECT_EQ(f.window.Texts(), c.texts);
  }
}

TEST_F(BootTransactions, RawSendArrivesUnframedAndFailsOnAClosedPort) {
  f.Script().SetRawLength([](const uint8_t*, size_t) { return size_t{5}; });
  const Bytes raw = {0x10, 0x20, 0x30, 0x40, 0x50};
  EXPECT_EQ(f.link.AsyncTxExFile(nullptr, nullptr, raw.size(), raw.data()), kTxOk);
  testing_support::WaitUntil([&] { return !f.phone->Requests().empty(); });
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].framed);
  EXPECT_EQ(requests[0].body,
            (Bytes{0x10, 0x20, 0x30}));  // the last two bytes took the check's place
  EXPECT_TRUE(f.window.Texts().empty());
  f.link.Close();
  EXPECT_EQ(f.link.AsyncTxExFile(nullptr, nullptr, raw.size(), raw.data()), kTxFail);
}

class ReadBack : public BootTransactions {
 protected:
  ReadBack() : fast_(0.3) {}
  testing_support::ScopedTimeScale fast_;  // the 100 ms and 150 ms pauses take 30 and 45 ms
};

TEST_F(ReadBack, CollectsTheRawBytesThatFollowTheRequest) {
  const Bytes memory = Pattern(3000, 9);
  f.Script().SetAnswer([memory](const phonesim::Packet&) { return Reply::Raw(memory); });
  Bytes out(3000, 0);
  const Bytes request = BootHeader(0x05);
  EXPECT_EQ(
      f.link.AsyncRxFile(request.data(), nullptr, request.size(), out.data(), out.size(), 500),
      kTxOk);
  EXPECT_EQ(f.link.LastRxFileCount(), 3000u);
  EXPECT_EQ(out, memory);
}

TEST_F(ReadBack, BytesBeyondTheDestinationAreDiscarded) {
  f.Script().SetAnswer([](const phonesim::Packet&) { return Reply::Raw(Pattern(2500, 1)); });
  Bytes out(2100, 0);
  out.push_back(0xEE);  // a guard byte the transfer must not reach
  const Bytes request = BootHeader(0x05);
  EXPECT_EQ(f.link.AsyncRxFile(request.data(), nullptr, 14, out.data(), 2100, 500), kTxOk);
  EXPECT_EQ(f.link.LastRxFileCount(), 2100u);
  const Bytes sent = Pattern(2500, 1);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 2100), Bytes(sent.begin(), sent.begin() + 2100));
  EXPECT_EQ(out.back(), 0xEE);
}

TEST_F(ReadBack, SilentPhoneEndsTheCollectionEmpty) {
  Fail(FaultKind::kSilent);
  Bytes out(1024, 0);
  const Bytes request = BootHeader(0x05);
  EXPECT_EQ(f.link.AsyncRxFile(request.data(), nullptr, 14, out.data(), out.size(), 500), kTxOk);
  EXPECT_EQ(f.link.LastRxFileCount(), 0u);
}

TEST_F(ReadBack, PhoneVanishingMidBlockLeavesAShortCount) {
  f.Script().SetAnswer([](const phonesim::Packet&) { return Reply::Raw(Pattern(4096, 2)); });
  Fail(FaultKind::kVanish, Fault{.afterBytes = 1500});
  Bytes out(4096, 0);
  const Bytes request = BootHeader(0x05);
  EXPECT_EQ(f.link.AsyncRxFile(request.data(), nullptr, 14, out.data(), out.size(), 500), kTxOk);
  EXPECT_LE(f.link.LastRxFileCount(), 1500u);
  EXPECT_LT(f.link.LastRxFileCount(), out.size());
}

TEST_F(ReadBack, ClosedPortFails) {
  f.link.Close();
  Bytes out(16);
  const Bytes request = BootHeader(0x05);
  EXPECT_EQ(f.link.AsyncRxFile(request.data(), nullptr, 14, out.data(), out.size(), 500), kTxFail);
  EXPECT_TRUE(f.phone->Requests().empty());
}

}  // namespace

namespace {

using testing_support::FakeDevice;

TEST(RawSend, FlushFailureIsReportedButTheDataStillGoesOut) {
  testing_support::RecordingWindow window;
  CMiscUtilComm link;
  link.SetParentHandle(&window);
  auto device = std::make_unique<FakeDevice>();
  FakeDevice* stalled = device.get();
  link.SetPortHandle(std::move(device));
  const Bytes data = {1, 2, 3};
  EXPECT_EQ(link.AsyncTxExFile(nullptr, nullptr, data.size(), data.data()), kTxOk);
  EXPECT_EQ(window.Texts(), Lines{"AsyncTxExFile Error"});
  EXPECT_EQ(stalled->written, data);
}

TEST(RawSend, WriteThatFailsIsAFailure) {
  CMiscUtilComm link;
  auto device = std::make_unique<FakeDevice>();
  device->writeStatus = platform::IoStatus::kError;
  link.SetPortHandle(std::move(device));
  const Bytes data = {1, 2, 3};
  EXPECT_EQ(link.AsyncTxExFile(nullptr, nullptr, data.size(), data.data()), kTxFail);
  EXPECT_EQ(link.GetError(), COMM_WRITE_ERROR);
  EXPECT_EQ(link.MDMAsyncTx(data.data(), nullptr, data.size()), kTxFail);
}

// A DLOAD request must not cut off the previous one while the device still holds part of it:
// the output is drained first, and only the input is discarded.
// Nothing the phone has not read yet is thrown away: every request and the close drain the
// output first and discard only the input.
TEST(RawSend, EveryRequestAndTheCloseDrainTheOutputAndDiscardOnlyTheInput) {
  // The link destroys its device as it closes: what was asked of it is kept here.
  struct KeptDevice : FakeDevice {
    explicit KeptDevice(Lines& kept) : keep(kept) {}
    ~KeptDevice() override { keep = ops; }
    Lines& keep;
  };
  testing_support::ScopedTimeScale fast{0.01};
  Lines ops;
  CMiscUtilComm link;
  auto device = std::make_unique<KeptDevice>(ops);
  device->drainStatus = platform::IoStatus::kOk;
  link.SetPortHandle(std::move(device));
  const Bytes request = {0x0A, 0x01};
  EXPECT_EQ(link.MDMAsyncTx(request.data(), nullptr, request.size()), kTxOk);
  EXPECT_EQ(link.MDMAsyncTxRx(request.data(), nullptr, request.size(), 50), kTxFail);  // silence
  EXPECT_EQ(link.AsyncTxExFile(nullptr, nullptr, request.size(), request.data()), kTxOk);
  EXPECT_EQ(link.AsyncTxRxEx(request.data(), nullptr, request.size(), 50), kTxFail);
  link.Close();
  const Lines each = {"drain", "purge input", "write"};
  Lines expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), each.begin(), each.end());
  expected.insert(expected.end(), {"drain", "purge input", "write", "drain", "write"});  // framed
  expected.insert(expected.end(), {"drain", "purge input"});                             // close
  EXPECT_EQ(ops, expected);
}

}  // namespace
