// DIAG (framed) and DLOAD (raw request, framed answer) transactions against a simulated phone.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/scripted_phone.h"
#include "support/wait.h"

namespace {

using phonesim::Fault;
using phonesim::FaultKind;
using phonesim::Packet;
using phonesim::Reply;
using testing_support::LinkFixture;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTimeout = 300;

// A DLOAD phone: raw requests end where their check sequence matches.
class DiagTransactions : public ::testing::Test {
 protected:
  DiagTransactions() {
    f.Script().SetRawLength(
        [](const uint8_t*, size_t) { return phonesim::PacketSizer::kUntilCheck; });
  }
  void AnswerWith(std::vector<uint8_t> body) {
    f.Script().SetAnswer([body](const Packet&) { return Reply::Frame(body); });
  }
  void Fail(FaultKind kind) { f.phone->InjectFault(Fault{.kind = kind}); }
  int Diag(const Bytes& request) {
    return f.link.AsyncTxRx(request.data(), nullptr, request.size(), kTimeout, 1);
  }
  int Dload(const Bytes& request) {
    return f.link.MDMAsyncTxRx(request.data(), nullptr, request.size(), kTimeout);
  }

  LinkFixture f;
};

struct Outcome {
  const char* name;
  Bytes answer;  // empty: use the fault
  FaultKind fault;
  int result;
  Lines texts;
};

TEST_F(DiagTransactions, FramedRequestOutcomes) {
  const std::vector<Outcome> cases = {
      {"echo", {0x29, 0x00}, FaultKind::kSilent, kTxOk, {}},
      {"ack", {0x02}, FaultKind::kSilent, kTxOk, {}},
      {"nak", {0x03}, FaultKind::kSilent, kTxFail, {"Response is NAK"}},
      {"other code", {0x05}, FaultKind::kSilent, kTxFail, {}},
      {"silence", {}, FaultKind::kSilent, kTxFail, {"Timeout error is occured"}},
      {"corrupt", {}, FaultKind::kBadCheck, kTxFail, {"CRC error"}},
  };
  for (const Outcome& c : cases) {
    SCOPED_TRACE(c.name);
    f.window.Clear();
    if (c.answer.empty()) {
      AnswerWith({0x29});
      Fail(c.fault);
    } else {
      AnswerWith(c.answer);
    }
    EXPECT_EQ(Diag({0x29, 0x02, 0x00}), c.result);
    EXPECT_EQ(f.window.Texts(), c.texts);
  }
  // Each request arrived as one good frame; the wake-up flags made no request of their own.
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), cases.size());
  for (const auto& r : requests) {
    EXPECT_TRUE(r.framed);
    EXPECT_TRUE(r.checkOk);
    EXPECT_EQ(r.body, (Bytes{0x29, 0x02, 0x00}));
  }
}

TEST_F(DiagTransactions, FramedRequestWithoutOpeningFlagStillArrives) {
  AnswerWith({0x3A});
  const Bytes request = {0x3A};
  EXPECT_EQ(f.link.AsyncTxRx(request.data(), nullptr, 1, kTimeout, 0), kTxOk);
  ASSERT_EQ(f.phone->Requests().size(), 1u);
}

TEST_F(DiagTransactions, RawRequestOutcomes) {
  const std::vector<Outcome> cases = {
      {"echo", {0x0A}, FaultKind::kSilent, kTxOk, {}},
      {"ack", {0x02}, FaultKind::kSilent, kTxOk, {}},
      {"nak", {0x03, 0x00, 0x01}, FaultKind::kSilent, kTxFail, {"Response is NAK"}},
      {"anonymous", {0x05}, FaultKind::kSilent, kTxFail, {"Response is anonymous"}},
      {"silence", {}, FaultKind::kSilent, kTxFail, {"Timeout error is occured"}},
      {"corrupt", {}, FaultKind::kBadCheck, kTxFail, {"CRC error is occured"}},
      {"refused", {}, FaultKind::kRefuse, kTxFail, {"Response is NAK"}},
  };
  for (const Outcome& c : cases) {
    SCOPED_TRACE(c.name);
    f.window.Clear();
    if (c.answer.empty()) {
      AnswerWith({0x02});
      Fail(c.fault);
    } else {
      AnswerWith(c.answer);
    }
    EXPECT_EQ(Dload({0x0A, 0x7E, 0x7D}), c.result);
    EXPECT_EQ(f.window.Texts(), c.texts);
  }
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), cases.size());
  for (const auto& r : requests) {
    EXPECT_FALSE(r.framed);  // sent unescaped, without flags
    EXPECT_TRUE(r.checkOk);
    EXPECT_EQ(r.body, (Bytes{0x0A, 0x7E, 0x7D}));
  }
}

TEST_F(DiagTransactions, RawSendOnlyPutsRequestAndCheckOnTheWire) {
  const Bytes noop = {0x06};
  EXPECT_EQ(f.link.MDMAsyncTx(noop.data(), nullptr, 1), kTxOk);
  testing_support::WaitUntil([&] { return !f.phone->Requests().empty(); });
  const auto requests = f.phone->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].framed);
  EXPECT_TRUE(requests[0].checkOk);  // 06 4E 95
  EXPECT_EQ(requests[0].body, noop);
  EXPECT_TRUE(f.window.Texts().empty());
}

TEST_F(DiagTransactions, ClosedPortFailsEveryKindWithoutTraffic) {
  f.link.Close();
  const Bytes request = {0x06};
  EXPECT_EQ(f.link.AsyncTxRx(request.data(), nullptr, 1, kTimeout, 1), kTxFail);
  EXPECT_EQ(f.link.MDMAsyncTxRx(request.data(), nullptr, 1, kTimeout), kTxFail);
  EXPECT_EQ(f.link.MDMAsyncTx(request.data(), nullptr, 1), kTxFail);
  EXPECT_TRUE(f.window.Texts().empty());
  // Once the phone has answered a request on the re-opened port, it has seen all that came
  // before: that request must be the only one.
  ASSERT_EQ(f.link.SetComPort(f.phone->PortNumber()), 1);
  f.Script().SetAnswer([](const Packet&) { return Reply::Frame({0x06}); });
  EXPECT_EQ(f.link.AsyncTxRx(request.data(), nullptr, 1, kTimeout, 1), kTxOk);
  EXPECT_EQ(f.phone->Requests().size(), 1u);
}

TEST_F(DiagTransactions, PhoneThatLeavesAfterAnsweringMakesTheNextRequestFail) {
  f.Script().SetAnswer([](const Packet&) {
    Reply r = Reply::Frame({0x02});
    r.leave = true;  // a reset: the phone drops off the link
    return r;
  });
  EXPECT_EQ(Dload({0x0B}), kTxOk);
  EXPECT_EQ(Dload({0x06}), kTxFail);
  EXPECT_EQ(f.link.GetOpenFlag(), 0);
}

}  // namespace
