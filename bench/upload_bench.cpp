// bench_upload: reading 16 MiB of a simulated phone's memory back over a real pseudo-terminal.
//
//  (a) raw streaming: 16 MiB written by the far side of a pseudo-terminal and read by the host
//      as fast as it arrives, the most a read-back over this pseudo-terminal can reach;
//  (b) the boot loader's read-back: the read set-up, then one block request answered with the
//      16 MiB as raw bytes, collected by AsyncRxFile, and its ratio to (a), with and without the
//      sequence's fixed 100 ms pause after the request (counted by platform::PausedUs; the
//      pause alone holds a 16 MiB read-back at about 0.4 of a 200 MB/s pseudo-terminal).
// Five paired runs, every ratio printed: without the pause, the median must reach 0.5 and no run
// may fall below 0.4.
//
// Every transfer is checked byte for byte, so a broken link fails instead of looking fast. Exits
// 1 when a transfer or a check failed, or a target is missed.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/platform/serial_device.h"
#include "corvane/protocol/misc_util_comm.h"
#include "corvane/protocol/packets.h"
#include "sim/builders/ap_builders.h"
#include "sim/memory_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
using phonesim::MemoryReader;
using platform::IoStatus;

constexpr size_t kLength = 16u << 20;
constexpr uint32_t kSeed = 5;
constexpr uint32_t kAddress = 0x80000000;
constexpr int kRuns = 5;
constexpr double kTarget = 0.5;  // the median's
constexpr double kFloor = 0.4;   // every run's

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double MegabytesPerSecond(double seconds) { return static_cast<double>(kLength) / seconds / 1e6; }

// (a) The far side of a pseudo-terminal writes the memory; the host reads it as it arrives.
class RawLink {
 public:
  bool Open() {
    pty_ = platform::PseudoTerminal::Create();
    host_ = platform::SerialDevice::Create();
    return pty_ && host_->Open(pty_->Path()) &&
           host_->SetLine({115200, 8, platform::Parity::kNone, platform::StopBits::kOne});
  }

  // Seconds for one transfer; negative when it failed.
  double Transfer(const std::vector<uint8_t>& memory, std::vector<uint8_t>& received) {
    const Clock::time_point start = Clock::now();
    std::thread writer([&] {
      size_t written = 0;
      pty_->Write(memory.data(), memory.size(), written, 10000);
    });
    size_t total = 0;
    while (total < kLength && host_->WaitReadable(2000) == IoStatus::kOk) {
      size_t got = 0;
      if (host_->Read(received.data() + total, kLength - total, got) != IoStatus::kOk) break;
      total += got;
    }
    const Clock::time_point end = Clock::now();
    writer.join();
    if (total != kLength || received != memory) {
      std::fprintf(stderr, "bench_upload: raw transfer failed (%zu bytes)\n", total);
      return -1;
    }
    return Seconds(start, end);
  }

 private:
  std::unique_ptr<platform::PseudoTerminal> pty_;
  std::unique_ptr<platform::SerialDevice> host_;
};

std::vector<uint8_t> Header(uint8_t command, uint32_t at2, uint32_t at6) {
  std::vector<uint8_t> h(MemoryReader::kHeaderLength, 0);
  h[0] = command;
  bytes::StoreLe32(h.data() + 2, at2);
  bytes::StoreLe32(h.data() + 6, at6);
  return h;
}

// (b) Seconds for one read-back (set-up not counted), and in `paused` the sequence's own pauses
// in them; negative when it failed.
double ReadBack(CMiscUtilComm& link, const std::vector<uint8_t>& memory,
                std::vector<uint8_t>& received, double& paused) {
  const auto setup = Header(MemoryReader::kReadSetup, kAddress, kLength / 512);
  const auto block = Header(MemoryReader::kBlockRead, kLength, 0);
  if (link.AsyncTxRxEx(setup.data(), nullptr, setup.size(), 1000) != kTxOk) {
    std::fprintf(stderr, "bench_upload: the read set-up was not acknowledged\n");
    return -1;
  }
  const Clock::time_point start = Clock::now();
  const uint64_t paused0 = platform::PausedUs();
  const int r = link.AsyncRxFile(block.data(), nullptr, block.size(), received.data(), kLength, 0);
  const Clock::time_point end = Clock::now();
  paused = static_cast<double>(platform::PausedUs() - paused0) / 1e6;
  if (r != kTxOk || link.LastRxFileCount() != kLength || received != memory) {
    std::fprintf(stderr, "bench_upload: read-back failed (%zu bytes)\n", link.LastRxFileCount());
    return -1;
  }
  return Seconds(start, end);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  const std::vector<uint8_t> memory = MemoryReader::Contents(kSeed, kAddress, kLength);
  std::vector<uint8_t> received(kLength);
  RawLink raw;
  auto sim = phonesim::builders::MakeChipPhone<MemoryReader>(kSeed);
  CMiscUtilComm link;
  if (!raw.Open() || !link.SetComPort(sim.phone->PortNumber())) {
    std::fprintf(stderr, "bench_upload: cannot open the pseudo-terminals\n");
    return 1;
  }
  // Raw and read-back runs alternate, so that a load on the machine weighs on both alike.
  std::vector<double> rawRates, uploadRates, withPause, ratios;
  for (int run = 0; run < kRuns; ++run) {
    const double rawSeconds = raw.Transfer(memory, received);
    std::fill(received.begin(), received.end(), 0);
    double paused = 0;
    const double uploadSeconds = ReadBack(link, memory, received, paused);
    if (rawSeconds < 0 || uploadSeconds < 0) return 1;
    const double collecting = std::max(uploadSeconds - paused, 1e-6);
    rawRates.push_back(MegabytesPerSecond(rawSeconds));
    uploadRates.push_back(MegabytesPerSecond(collecting));
    withPause.push_back(rawSeconds / uploadSeconds);
    ratios.push_back(rawSeconds / collecting);
  }
  link.Close();
  sim.phone->Stop();
  const double ratio = Median(ratios);
  const double lowest = *std::min_element(ratios.begin(), ratios.end());
  std::printf("raw pty streaming 16 MiB: %.1f MB/s (median of %d)\n", Median(rawRates), kRuns);
  std::printf(
      "AsyncRxFile read-back 16 MiB: %.1f MB/s without its 100 ms pause, verified byte "
      "for byte\n",
      Median(uploadRates));
  std::printf("read-back ratio to raw with the pause, run by run:");
  for (const double r : withPause) std::printf(" %.2f", r);
  std::printf("\nread-back ratio to raw without the pause, run by run:");
  for (const double r : ratios) std::printf(" %.2f", r);
  const bool met = ratio >= kTarget && lowest >= kFloor;
  std::printf("\nmedian %.2f (target >= %.1f), lowest %.2f (target >= %.1f): %s\n", ratio, kTarget,
              lowest, kFloor, met ? "PASS" : "BELOW TARGET");
  return met ? 0 : 1;
}
