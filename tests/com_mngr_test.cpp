// The serial port manager on a real pseudo-terminal.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "corvane/platform/port_table.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/serial/com_mngr.h"
#include "support/time_scale.h"

namespace {

using platform::IoStatus;

// A port whose far end the test holds.
struct PtyPort {
  PtyPort() : pty(platform::PseudoTerminal::Create()), number(platform::BindPort(pty->Path())) {}

  // Reads what the host sent, waiting up to a second for `want` bytes.
  std::vector<uint8_t> Receive(size_t want) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (out.size() < want && std::chrono::steady_clock::now() < deadline) {
      uint8_t buffer[4096];
      size_t got = 0;
      pty->Read(buffer, sizeof buffer, got, 20);
      out.insert(out.end(), buffer, buffer + got);
    }
    return out;
  }

  void Send(const std::vector<uint8_t>& bytes) {
    size_t written = 0;
    ASSERT_EQ(pty->Write(bytes.data(), bytes.size(), written, 1000), IoStatus::kOk);
  }

  std::unique_ptr<platform::PseudoTerminal> pty;
  uint8_t number;
};

// Waits until what the far side sent is queued on the host side (the pseudo-terminal delivers
// asynchronously), with the device's own wait for input.
void AwaitInput(CComMngr& port) { port.GetPortHandle()->WaitReadable(2000); }

TEST(ComMngr, NeverOpenedPortHasNothingToClose) {
  CComMngr port;
  EXPECT_EQ(port.GetOpenFlag(), 0);
  EXPECT_EQ(port.GetPort(), 0);
  EXPECT_EQ(port.GetPortHandle(), nullptr);
  port.Close();
  EXPECT_EQ(port.GetOpenFlag(), 0);
  uint8_t b = 0;
  EXPECT_EQ(port.Read(&b, 1), 0u);
  EXPECT_EQ(port.Write(&b, 1), 0);
}

TEST(ComMngr, OpenFlagSetWithoutADeviceClosesWithoutTouchingOne) {
  CComMngr port;
  port.SetOpenFlag(1);
  port.Close();
  EXPECT_EQ(port.GetOpenFlag(), 0);
  EXPECT_EQ(port.GetPortHandle(), nullptr);
  EXPECT_EQ(port.GetReadOSEvent(), nullptr);
}

TEST(ComMngr, OpenFailsForAnUnboundOrMissingPort) {
  CComMngr port;
  port.SetPort(0);
  EXPECT_EQ(port.Open(), 0);
  const uint8_t gone = platform::BindPort("/dev/ttyACM-test-missing");
  EXPECT_EQ(port.SetComPort(gone), 0);
  EXPECT_EQ(port.GetOpenFlag(), 0);
  EXPECT_EQ(port.GetPortHandle(), nullptr);
}

TEST(ComMngr, OpensRawAt115200WithDtrAndBothTransferRecords) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  EXPECT_EQ(port.GetOpenFlag(), 1);
  EXPECT_EQ(port.GetPort(), far.number);
  EXPECT_NE(port.GetPortHandle(), nullptr);
  EXPECT_NE(port.GetReadOSEvent(), nullptr);
  EXPECT_NE(port.GetWriteOSEvent(), nullptr);
  const CommLineState& line = port.GetLineState();
  EXPECT_EQ(line.baudRate, 115200u);
  EXPECT_EQ(line.byteSize, 8);
  EXPECT_EQ(line.parity, platform::Parity::kNone);
  EXPECT_EQ(line.stopBits, platform::StopBits::kOne);
  EXPECT_EQ(line.dtrControl, DtrControl::kEnable);
  EXPECT_FALSE(line.outCtsFlow || line.outDsrFlow || line.outXonXoff || line.inXonXoff);
  port.Close();
  EXPECT_EQ(port.GetReadOSEvent(), nullptr);
  EXPECT_EQ(port.GetWriteOSEvent(), nullptr);
}

TEST(ComMngr, OpenOnAnOpenPortFailsAndSetComPortKeepsTheOpenOne) {
  PtyPort far;
  PtyPort other;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  platform::SerialDevice* handle = port.GetPortHandle();
  EXPECT_EQ(port.Open(), 0);
  EXPECT_EQ(port.SetComPort(other.number), 1);
  EXPECT_EQ(port.GetPort(), far.number);
  EXPECT_EQ(port.GetPortHandle(), handle);
  EXPECT_EQ(port.GetOpenFlag(), 1);
}

TEST(ComMngr, ReadReturnsAtOnceWithWhatIsQueuedAndNeverMoreThanAsked) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  std::vector<uint8_t> buffer(4096);
  EXPECT_EQ(port.Read(buffer.data(), 1024),
            0u);  // nothing is coming: a read that waited would hang

  std::vector<uint8_t> sent(3000);
  std::iota(sent.begin(), sent.end(), 0);
  far.Send(sent);
  AwaitInput(port);
  std::vector<uint8_t> received;
  while (received.size() < sent.size()) {
    const size_t n = port.Read(buffer.data(), 1024);
    ASSERT_LE(n, 1024u);
    if (n == 0) AwaitInput(port);
    received.insert(received.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
  }
  EXPECT_EQ(received, sent);
}

TEST(ComMngr, WriteBlocksUntilEverythingIsSent) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  std::vector<uint8_t> sent(256 * 1024);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> received;
  std::thread reader([&] { received = far.Receive(sent.size()); });
  EXPECT_EQ(port.Write(sent.data(), sent.size()), 1);
  reader.join();
  EXPECT_EQ(received, sent);
  EXPECT_EQ(port.GetError(), COMM_NO_ERROR);
}

TEST(ComMngr, WriteThatNobodyTakesGivesUpAfterTheWriteTimeout) {
  testing_support::ScopedTimeScale fast(0.01);  // the 10 s time-out takes 100 ms
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  std::vector<uint8_t> lots(4 * 1024 * 1024, 0x55);  // far more than the terminal buffers
  EXPECT_EQ(port.Write(lots.data(), lots.size()), 0);
  EXPECT_EQ(port.GetError(), COMM_WRITE_ERROR);
  EXPECT_EQ(port.GetOpenFlag(), 1);  // the device is still there
}

TEST(ComMngr, PurgeDiscardsWhatWasReceived) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  far.Send({1, 2, 3, 4});
  AwaitInput(port);
  port.Clear();
  uint8_t b[8];
  EXPECT_EQ(port.Read(b, sizeof b), 0u);
  far.Send({9});
  AwaitInput(port);
  port.Clear2();
  EXPECT_EQ(port.Read(b, sizeof b), 0u);
}

TEST(ComMngr, DtrIsRefusedWhileUnderHandshakeControl) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  EXPECT_EQ(port.DTR(0), COMM_NO_ERROR);
  EXPECT_EQ(port.DTR(1), COMM_NO_ERROR);
  port.LineState().dtrControl = DtrControl::kHandshake;
  EXPECT_EQ(port.DTR(0), COMM_DTR_HANDSHAKE);
  EXPECT_EQ(port.GetLineState().dtrControl, DtrControl::kHandshake);
}

TEST(ComMngr, BaudChangesWithoutReopeningAndTheFifthLineValueHasNoEffect) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  platform::SerialDevice* handle = port.GetPortHandle();
  ASSERT_EQ(port.SetComBaudRate(3000000), 1);
  EXPECT_EQ(port.GetLineState().baudRate, 3000000u);
  EXPECT_EQ(port.GetPortHandle(), handle);
  EXPECT_EQ(port.SetComBaudRate(12345), 0);  // not a rate the line can take
  EXPECT_EQ(port.GetLineState().baudRate, 3000000u);

  ASSERT_EQ(port.SetDCB(115200, 8, platform::Parity::kNone, platform::StopBits::kOne, 0), 1);
  const CommLineState a = port.GetLineState();
  ASSERT_EQ(port.SetDCB(115200, 8, platform::Parity::kNone, platform::StopBits::kOne, 99999), 1);
  const CommLineState b = port.GetLineState();
  EXPECT_EQ(a.baudRate, b.baudRate);
  EXPECT_EQ(a.byteSize, b.byteSize);
  EXPECT_EQ(a.dtrControl, b.dtrControl);
  EXPECT_EQ(a.xonLimit, b.xonLimit);
  EXPECT_EQ(port.GetPortHandle(), handle);
}

TEST(ComMngr, DeviceGoneOnReadClosesThePortAndLaterCallsFailAtOnce) {
  testing_support::ScopedTimeScale fast(0.01);  // the settle pause after a loss takes 10 ms
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  far.pty->Close();
  uint8_t b[16];
  EXPECT_EQ(port.Read(b, sizeof b), 0u);
  EXPECT_EQ(port.GetOpenFlag(), 0);
  EXPECT_EQ(port.GetPortHandle(), nullptr);
  port.Close();  // a no-op now
  EXPECT_EQ(port.Write(b, sizeof b), 0);
  EXPECT_EQ(port.Read(b, sizeof b), 0u);
}

TEST(ComMngr, DeviceGoneOnWriteClosesThePort) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  far.pty->Close();
  const uint8_t b[4] = {1, 2, 3, 4};
  EXPECT_EQ(port.Write(b, sizeof b), 0);
  EXPECT_EQ(port.GetOpenFlag(), 0);
  EXPECT_EQ(port.GetError(), COMM_NO_ERROR);  // a lost device is not a write error
}

TEST(ComMngr, ReopensAfterTheDeviceCameBack) {
  PtyPort far;
  CComMngr port;
  ASSERT_EQ(port.SetComPort(far.number), 1);
  port.Close();
  ASSERT_EQ(port.SetComPort(far.number), 1);
  far.Send({0x42});
  AwaitInput(port);
  uint8_t b = 0;
  EXPECT_EQ(port.Read(&b, 1), 1u);
  EXPECT_EQ(b, 0x42);
}

}  // namespace
