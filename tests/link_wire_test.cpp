// The bytes each transaction puts on the wire, as the simulated phone received them, and the
// fixed pauses after sending. The phone's reader accepts a request with or without wake-up bytes
// before it, so only the raw input tells them apart.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "corvane/platform/serial_device.h"
#include "corvane/protocol/hdlc.h"
#include "support/scripted_phone.h"
#include "support/time_scale.h"
#include "support/wait.h"

namespace {

using Bytes = std::vector<uint8_t>;
using phonesim::Packet;
using phonesim::PacketSizer;
using phonesim::Reply;
using testing_support::BootHeader;
using testing_support::LinkFixture;
using Clock = std::chrono::steady_clock;

const Bytes kBootPreamble = {0x7E, 0x7E, 0x00};
const Bytes kDiagPreamble = {0x7E, 0x7E, 0x7E};
constexpr uint8_t kFileCommand = 0x6C;

struct Transaction {
  const char* name;
  Bytes preamble;    // the wake-up bytes before the request
  uint32_t pauseMs;  // the fixed pause after sending
  bool encoded;      // the request went through the codec (else it is sent as given)
  std::function<void(CMiscUtilComm&, const Bytes&)> run;
  Bytes tail{};  // raw bytes right after the encoded request
};

class Wire : public ::testing::Test {
 protected:
  Wire() {
    f.Script().SetRawLength([](const uint8_t*, size_t) { return PacketSizer::kUntilCheck; });
    f.Script().SetPayloadLength([](const Bytes& h) { return h[0] == kFileCommand ? 40u : 0u; });
    f.Script().SetAnswer([](const Packet& p) { return Reply::Frame({p.body.at(0)}); });
    f.phone->KeepRawInput();
  }

  // What the phone received, once `length` bytes have arrived (or ten seconds passed).
  Bytes Received(size_t length) {
    testing_support::WaitUntil([&] { return f.phone->RawInputSize() >= length; });
    return f.phone->TakeRawInput();
  }

  static std::vector<Transaction> All() {
    const Bytes payload(40, 0x7D);
    Bytes out(64);
    return {
        {"boot command", kBootPreamble, 1, true,
         [](CMiscUtilComm& l, const Bytes& r) { l.AsyncTxRxEx(r.data(), nullptr, r.size(), 300); }},
        {"file",
         {},
         1,
         true,
         [payload](CMiscUtilComm& l, const Bytes&) {
           const Bytes h = BootHeader(kFileCommand, static_cast<uint32_t>(payload.size()));
           l.AsyncTxRxExFile(h.data(), nullptr, h.size(), payload.data(), payload.size(), 300);
         },
         payload},
        {"read-back", kBootPreamble, 100, true,
         [out](CMiscUtilComm& l, const Bytes& r) mutable {
           l.AsyncRxFile(r.data(), nullptr, r.size(), out.data(), out.size(), 300);
         }},
        {"DIAG", kDiagPreamble, 1, true,
         [](CMiscUtilComm& l, const Bytes& r) {
           l.AsyncTxRx(r.data(), nullptr, r.size(), 300, 1);
         }},
        {"DLOAD",
         {},
         5,
         true,
         [](CMiscUtilComm& l, const Bytes& r) {
           l.MDMAsyncTxRx(r.data(), nullptr, r.size(), 300);
         }},
        {"DLOAD without answer",
         {},
         8,
         true,
         [](CMiscUtilComm& l, const Bytes& r) { l.MDMAsyncTx(r.data(), nullptr, r.size()); }},
        {"raw",
         {},
         0,
         false,
         [](CMiscUtilComm& l, const Bytes& r) {
           l.AsyncTxExFile(nullptr, nullptr, r.size(), r.data());
         }},
    };
  }

  LinkFixture f;
};

TEST_F(Wire, EachTransactionSendsItsOwnPreambleThenExactlyItsRequest) {
  testing_support::ScopedTimeScale fast{0.1};  // the read-back's 100 ms and 150 ms waits
  const Bytes request = BootHeader(0x29, 0);
  for (const Transaction& t : All()) {
    SCOPED_TRACE(t.name);
    t.run(f.link, request);
    CAsync* codec = f.link.GetCodec();
    Bytes expected = t.preamble;
    if (t.encoded) {
      expected.insert(expected.end(), codec->Encoded(), codec->Encoded() + codec->EncodedLength());
      expected.insert(expected.end(), t.tail.begin(), t.tail.end());
    } else {
      expected.insert(expected.end(), request.begin(), request.end());
    }
    EXPECT_EQ(Received(expected.size()), expected);
  }
}

// The clock runs ten times slower, so that a pause of 1 ms takes 10 ms: far above the round
// trip of a simulated phone, which answers at once.
TEST_F(Wire, EachTransactionPausesAfterSending) {
  testing_support::ScopedTimeScale slow{10.0};
  const Bytes request = BootHeader(0x29, 0);
  for (const Transaction& t : All()) {
    if (t.pauseMs == 0 || t.pauseMs >= 100) continue;  // the read-back is timed on its own below
    SCOPED_TRACE(t.name);
    const auto start = Clock::now();
    t.run(f.link, request);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(t.pauseMs * 10));
  }
}

// A phone behind a slow adapter has not read a large raw send when the next request follows at
// once, nor when the port is closed after it: it still receives every byte.
TEST_F(Wire, APhoneThatReadsSlowlyReceivesEveryByteSent) {
  f.phone->ReadSlowly(4096, 1);
  const Bytes raw(256 * 1024, 0x55);
  ASSERT_EQ(f.link.AsyncTxExFile(nullptr, nullptr, raw.size(), raw.data()), kTxOk);
  const Bytes request = BootHeader(0x29, 0);
  f.link.AsyncTxRxEx(request.data(), nullptr, request.size(), 300);
  const CAsync* codec = f.link.GetCodec();
  Bytes expected = raw;
  expected.insert(expected.end(), kBootPreamble.begin(), kBootPreamble.end());
  expected.insert(expected.end(), codec->Encoded(), codec->Encoded() + codec->EncodedLength());
  ASSERT_EQ(f.link.AsyncTxExFile(nullptr, nullptr, raw.size(), raw.data()), kTxOk);
  f.link.Close();
  expected.insert(expected.end(), raw.begin(), raw.end());
  EXPECT_TRUE(Received(expected.size()) == expected);
}

TEST_F(Wire, ReadBackPausesAfterItsRequest) {
  const Bytes request = BootHeader(0x29, 0);
  Bytes out(1);  // filled by the answer: no wait for silence at the end
  const auto start = Clock::now();
  f.link.AsyncRxFile(request.data(), nullptr, request.size(), out.data(), out.size(), 300);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
}

// A request as a host sends it: wake-up bytes, then the frame.
Bytes Framed(const Bytes& body) {
  Bytes out = kDiagPreamble;
  out.resize(out.size() + hdlc::MaxFrameSize(body.size()));
  const size_t framed =
      hdlc::EncodeFrame(body.data(), body.size(), true, out.data() + kDiagPreamble.size());
  out.resize(kDiagPreamble.size() + framed);
  return out;
}

// One answer frame, as many bytes as it takes on the wire.
size_t ReadAnswer(platform::SerialDevice& port) {
  size_t length = 0;
  int flags = 0;
  uint8_t b = 0;
  size_t got = 0;
  while (flags < 2 && port.WaitReadable(2000) == platform::IoStatus::kOk &&
         port.Read(&b, 1, got) == platform::IoStatus::kOk) {
    length += got;
    flags += got == 1 && b == hdlc::kFlag ? 1 : 0;
  }
  return length;
}

// The phone's record of a conversation splits it where the phone answers: each turn holds the
// bytes exactly as they arrived (wake-up bytes too) and the length of the answer they brought;
// what came after the last answer is a turn without one.
TEST(Conversation, EachTurnIsWhatTheHostSentUntilAnAnswerAndTheAnswersLength) {
  auto script = std::make_unique<testing_support::ScriptedPersonality>();
  // Escaped bytes, so that the answer on the wire is longer than what the phone framed.
  script->SetAnswer([](const Packet& p) { return Reply::Frame(Bytes(p.body.at(0), 0x7D)); });
  phonesim::Phone phone(std::move(script));
  phone.KeepConversation();
  auto port = platform::SerialDevice::Create();
  ASSERT_TRUE(port->Open(phone.Path()) && port->SetLine({}));
  std::vector<phonesim::Turn> sent = {{Framed({3, 0x7E}), 0}, {Framed({40}), 0}, {{0x7E, 1}, 0}};
  uint64_t total = 0;
  for (phonesim::Turn& turn : sent) {
    ASSERT_EQ(port->Write(turn.request.data(), turn.request.size(), 1000), platform::IoStatus::kOk);
    total += turn.request.size();
    if (turn.request.size() > 2) turn.answerBytes = ReadAnswer(*port);
  }
  ASSERT_TRUE(testing_support::WaitUntil([&] { return phone.Stats().bytesIn == total; }));
  const std::vector<phonesim::Turn> turns = phone.TakeConversation();
  ASSERT_EQ(turns.size(), sent.size());
  for (size_t i = 0; i < turns.size(); ++i) {
    EXPECT_EQ(turns[i].request, sent[i].request) << "turn " << i;
    EXPECT_EQ(turns[i].answerBytes, sent[i].answerBytes) << "turn " << i;
  }
  EXPECT_GT(sent[1].answerBytes, 80u);  // the escaped answer was read whole
}

}  // namespace
