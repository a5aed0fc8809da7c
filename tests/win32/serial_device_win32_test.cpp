// The Win32 serial device against a real COM port whose far end echoes every byte: under Wine,
// TARVEX_WINE_COM names a COM port linked to the pseudo-terminal that tarvex-pty-echo
// holds open.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/serial_device.h"

namespace {

using platform::IoStatus;
using Steady = std::chrono::steady_clock;

// Longer than any of these tests may take: a wait that nothing ends fails by the test's time.
constexpr int kLongWaitMs = 300000;

long long MsSince(Steady::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

class SerialDeviceWin32 : public testing::Test {
 protected:
  void SetUp() override {
    const char* port = std::getenv("TARVEX_WINE_COM");
    if (port == nullptr || *port == '\0') {
      GTEST_SKIP() << "TARVEX_WINE_COM names no COM port (e.g. COM12, linked under Wine to the "
                      "pseudo-terminal of tarvex-pty-echo)";
    }
    port_ = port;
    ASSERT_TRUE(device_->Open(port_)) << port_;
    ASSERT_TRUE(device_->SetLine({}));
    ASSERT_TRUE(device_->Purge(true, true));
  }

  // Reads `count` bytes as they come, piece by piece; fewer when the echo stops for `quietMs`.
  std::vector<uint8_t> ReadBack(size_t count, int quietMs = 2000) {
    std::vector<uint8_t> got(count);
    size_t have = 0;
    while (have < count && device_->WaitReadable(quietMs) == IoStatus::kOk) {
      size_t n = 0;
      if (device_->Read(got.data() + have, count - have, n) != IoStatus::kOk) break;
      have += n;
      ++pieces_;
    }
    got.resize(have);
    return got;
  }

  std::string port_;
  std::unique_ptr<platform::SerialDevice> device_ = platform::SerialDevice::Create();
  int pieces_ = 0;
};

TEST_F(SerialDeviceWin32, OpenIsExclusiveAndTheHolderIsSeenUnderEitherName) {
  const std::string deviceName = "\\\\.\\" + port_;
  auto second = platform::SerialDevice::Create();
  EXPECT_FALSE(second->Open(port_));
  EXPECT_FALSE(second->Open(deviceName));
  EXPECT_TRUE(platform::HeldElsewhere(port_));
  EXPECT_TRUE(platform::HeldElsewhere(deviceName));
  EXPECT_FALSE(device_->Open(port_));  // open already

  device_->Close();
  EXPECT_FALSE(device_->IsOpen());
  EXPECT_FALSE(platform::HeldElsewhere(port_));
  EXPECT_TRUE(second->Open(deviceName));
  EXPECT_TRUE(second->IsOpen());

  EXPECT_FALSE(device_->Open("COM249"));  // no such port: refused, and held by no one
  EXPECT_FALSE(platform::HeldElsewhere("COM249"));
}

TEST_F(SerialDeviceWin32, KnownBaudsAndLineParametersAreTakenAndAnUnknownBaudIsRefused) {
  EXPECT_TRUE(device_->SetLine({.baud = 3000000}));
  EXPECT_TRUE(device_->SetBaud(921600));
  EXPECT_TRUE(device_->SetLine({.baud = 115200,
                                .dataBits = 7,
                                .parity = platform::Parity::kEven,
                                .stopBits = platform::StopBits::kTwo}));
  EXPECT_FALSE(device_->SetLine({.baud = 123456}));
  EXPECT_FALSE(device_->SetBaud(12345));
  EXPECT_TRUE(device_->SetLine({.baud = 3000000}));
  // The line still carries bytes after the refusals.
  const std::vector<uint8_t> ping = {0x7E, 0x00, 0xFF, 0x0D, 0x0A};
  ASSERT_EQ(device_->Write(ping.data(), ping.size(), 2000), IoStatus::kOk);
  EXPECT_EQ(ReadBack(ping.size()), ping);
}

// The write and the reads overlap, as the echo sends back while the write still goes out.
TEST_F(SerialDeviceWin32, A512KiBWriteComesBackIntactInPieces) {
  ASSERT_TRUE(device_->SetLine({.baud = 3000000}));
  std::vector<uint8_t> sent(512 * 1024);
  uint32_t x = 0x12345678;
  for (uint8_t& b : sent) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  IoStatus written = IoStatus::kError;
  std::thread writer([&] { written = device_->Write(sent.data(), sent.size(), 60000); });
  const std::vector<uint8_t> back = ReadBack(sent.size());
  writer.join();
  EXPECT_EQ(written, IoStatus::kOk);
  ASSERT_EQ(back.size(), sent.size());
  EXPECT_TRUE(back == sent);
  EXPECT_GT(pieces_, 1);
  EXPECT_EQ(device_->Drain(2000), IoStatus::kOk);
}

TEST_F(SerialDeviceWin32, ReadOfNothingQueuedAnswersAtOnce) {
  uint8_t buffer[64];
  size_t got = 99;
  const auto start = Steady::now();
  EXPECT_EQ(device_->Read(buffer, sizeof buffer, got), IoStatus::kOk);
  EXPECT_EQ(got, 0u);
  EXPECT_LT(MsSince(start), 100);
}

// After a wait that timed out, bytes arriving later still come back whole and in order.
TEST_F(SerialDeviceWin32, WaitReadableTimesOutInItsTimeAndLaterBytesKeepTheirOrder) {
  const auto start = Steady::now();
  EXPECT_EQ(device_->WaitReadable(300), IoStatus::kTimeout);
  const long long waited = MsSince(start);
  EXPECT_GE(waited, 290);
  EXPECT_LT(waited, 1500);

  const std::string text = "0123456789abcdefghij";
  ASSERT_EQ(device_->Write(text.data(), text.size(), 2000), IoStatus::kOk);
  const std::vector<uint8_t> back = ReadBack(text.size());
  EXPECT_EQ(std::string(back.begin(), back.end()), text);
}

TEST_F(SerialDeviceWin32, CancellationEndsALongWaitAtOnceAndRefusesWhatFollows) {
  platform::Cancellation cancellation;
  device_->WatchCancellation(&cancellation);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancellation.Cancel();
  });
  const auto start = Steady::now();
  EXPECT_EQ(device_->WaitReadable(kLongWaitMs), IoStatus::kCancelled);
  EXPECT_LT(MsSince(start), 2000);
  canceller.join();

  uint8_t byte = 0x55;
  size_t got = 0;
  EXPECT_EQ(device_->Write(&byte, 1, kLongWaitMs), IoStatus::kCancelled);
  EXPECT_EQ(device_->Read(&byte, 1, got), IoStatus::kCancelled);
  EXPECT_EQ(device_->Drain(kLongWaitMs), IoStatus::kCancelled);
  device_->WatchCancellation(nullptr);
}

TEST_F(SerialDeviceWin32, PurgeDropsWhatIsQueued) {
  const std::string text(200, 'q');
  ASSERT_EQ(device_->Write(text.data(), text.size(), 2000), IoStatus::kOk);
  ASSERT_EQ(device_->WaitReadable(2000), IoStatus::kOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the rest of the echo arrives
  EXPECT_TRUE(device_->Purge(true, false));
  uint8_t buffer[256];
  size_t got = 99;
  EXPECT_EQ(device_->Read(buffer, sizeof buffer, got), IoStatus::kOk);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(device_->WaitReadable(200), IoStatus::kTimeout);
}

}  // namespace
