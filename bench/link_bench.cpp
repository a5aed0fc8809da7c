// bench_link: speed of the serial link, measured against a simulated phone on a real
// pseudo-terminal.
//
//  (a) raw streaming: 512 KiB written to an opened port and drained on the far side, the most a
//      transfer over this pseudo-terminal can reach;
//  (b) the same 512 KiB as one AsyncTxRxExFile (header frame, raw payload, acknowledgement) to the
//      generic boot loader, and its ratio to (a);
//  (c) the round trip of a 14-byte boot-loader command without payload.
//
// Every transfer is checked (the bytes the far side received, the phone's acknowledgement and its
// payload count and sum), so a broken link fails instead of looking fast. Exits 1 when a
// transaction or a check failed.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/platform/serial_device.h"
#include "corvane/protocol/misc_util_comm.h"
#include "corvane/protocol/packets.h"
#include "sim/generic_boot_loader.h"
#include "sim/phone.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::IoStatus;

constexpr size_t kBlockSize = 512 * 1024;
constexpr int kTransfers = 20;
constexpr int kWarmUpCommands = 10;
constexpr int kCommands = 500;
constexpr uint32_t kCommandTimeoutMs = 1000;
constexpr uint32_t kBlockTimeoutMs = 10000;
constexpr double kRoundTripTargetMs = 1.3;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double MegabytesPerSecond(size_t bytes, double seconds) {
  return static_cast<double>(bytes) / seconds / 1e6;
}

// The value below which a fraction `p` of the samples lie (nearest rank).
double Percentile(std::vector<double> samples, double p) {
  std::sort(samples.begin(), samples.end());
  const double rank = std::ceil(p * static_cast<double>(samples.size()));
  const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
  return samples[std::min(index, samples.size() - 1)];
}

double Median(const std::vector<double>& samples) { return Percentile(samples, 0.5); }

std::vector<uint8_t> RandomBlock() {
  std::vector<uint8_t> block(kBlockSize);
  std::mt19937 rng(0x1CE);
  for (uint8_t& b : block) b = static_cast<uint8_t>(rng() >> 24);
  return block;
}

// A boot-loader command header: command byte, payload length at bytes 6..9 (little-endian).
std::vector<uint8_t> Header(uint8_t command, uint32_t payloadLength) {
  std::vector<uint8_t> h(phonesim::GenericBootLoader::kHeaderLength, 0);
  h[0] = command;
  bytes::StoreLe32(h.data() + 6, payloadLength);
  return h;
}

// (a) Writes the block to the host side of a pseudo-terminal while a thread drains the
// controlling side; one MB/s figure per transfer, empty when a transfer failed.
std::vector<double> RawStreaming(const std::vector<uint8_t>& block) {
  std::string error;
  auto pty = platform::PseudoTerminal::Create(&error);
  if (!pty) {
    std::fprintf(stderr, "bench_link: cannot create a pseudo-terminal: %s\n", error.c_str());
    return {};
  }
  auto host = platform::SerialDevice::Create();
  if (!host->Open(pty->Path()) ||
      !host->SetLine({115200, 8, platform::Parity::kNone, platform::StopBits::kOne})) {
    std::fprintf(stderr, "bench_link: cannot open %s\n", pty->Path().c_str());
    return {};
  }
  std::vector<double> rates;
  std::vector<uint8_t> received(block.size());
  for (int rep = 0; rep < kTransfers; ++rep) {
    std::fill(received.begin(), received.end(), 0);
    size_t total = 0;
    Clock::time_point drained{};
    std::thread reader([&] {
      while (total < received.size()) {
        size_t got = 0;
        const IoStatus s = pty->Read(received.data() + total, received.size() - total, got, 2000);
        if (s != IoStatus::kOk) break;  // nothing for 2 s, or the link broke
        total += got;
      }
      drained = Clock::now();
    });
    const Clock::time_point start = Clock::now();
    const IoStatus written = host->Write(block.data(), block.size(), 10000);
    reader.join();
    if (written != IoStatus::kOk || total != block.size() ||
        std::memcmp(received.data(), block.data(), block.size()) != 0) {
      std::fprintf(stderr, "bench_link: raw transfer %d failed (%zu of %zu bytes arrived)\n",
                   rep + 1, total, block.size());
      return {};
    }
    rates.push_back(MegabytesPerSecond(block.size(), Seconds(start, drained)));
  }
  return rates;
}

struct LoaderCount {
  uint64_t bytes = 0;
  uint32_t sum = 0;
};

LoaderCount PayloadReceived(phonesim::Phone& phone) {
  LoaderCount c;
  phone.WithPersonality([&](phonesim::Personality& p) {
    const auto& loader = static_cast<const phonesim::GenericBootLoader&>(p);
    c.bytes = loader.PayloadBytes();
    c.sum = loader.PayloadCheck();
  });
  return c;
}

// One command without payload; true when the boot loader acknowledged it.
bool Command(CMiscUtilComm& link, const std::vector<uint8_t>& header) {
  prot_rsp_t response{};
  const int r = link.AsyncTxRxEx(header.data(), &response, header.size(), kCommandTimeoutMs);
  return r == kTxOk && response.code == kRspAck;
}

void PrintSpread(const char* unit, const std::vector<double>& samples) {
  std::printf("    (%zu runs: min %.2f, median %.2f, max %.2f %s)\n", samples.size(),
              Percentile(samples, 0.0), Median(samples), Percentile(samples, 1.0), unit);
}

}  // namespace

int main() {
  const std::vector<uint8_t> block = RandomBlock();
  uint32_t blockSum = 0;
  for (uint8_t b : block) blockSum += b;

  // (a)
  const std::vector<double> raw = RawStreaming(block);
  if (raw.empty()) return 1;
  const double rawMbps = Median(raw);
  std::printf("raw pty streaming 512 KiB: %.1f MB/s\n", rawMbps);
  PrintSpread("MB/s", raw);

  phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>());
  CMiscUtilComm link;
  if (!link.SetComPort(phone.PortNumber())) {
    std::fprintf(stderr, "bench_link: cannot open the simulated phone's port %s\n",
                 phone.Path().c_str());
    return 1;
  }
  const std::vector<uint8_t> command = Header(0x89, 0);
  for (int i = 0; i < kWarmUpCommands; ++i) {
    if (!Command(link, command)) {
      std::fprintf(stderr, "bench_link: warm-up command %d was not acknowledged\n", i + 1);
      return 1;
    }
  }

  // (b)
  const std::vector<uint8_t> header = Header(0x8B, static_cast<uint32_t>(block.size()));
  std::vector<double> file;
  LoaderCount before = PayloadReceived(phone);
  for (int rep = 0; rep < kTransfers; ++rep) {
    const Clock::time_point start = Clock::now();
    const int r = link.AsyncTxRxExFile(header.data(), nullptr, header.size(), block.data(),
                                       block.size(), kBlockTimeoutMs);
    const Clock::time_point end = Clock::now();
    const LoaderCount after = PayloadReceived(phone);
    const bool acked = link.ResponseLength() > 0 && link.ResponseBytes()[0] == kRspAck;
    if (r != kTxOk || !acked || after.bytes - before.bytes != block.size() ||
        static_cast<uint32_t>(after.sum - before.sum) != blockSum) {
      std::fprintf(stderr,
                   "bench_link: AsyncTxRxExFile %d failed (result %d, phone took %llu of %zu "
                   "payload bytes)\n",
                   rep + 1, r, static_cast<unsigned long long>(after.bytes - before.bytes),
                   block.size());
      return 1;
    }
    before = after;
    file.push_back(MegabytesPerSecond(block.size(), Seconds(start, end)));
  }
  const double fileMbps = Median(file);
  std::printf(
      "AsyncTxRxExFile 512 KiB: %.1f MB/s (ratio to raw %.2f), phone received %llu "
      "payload bytes, sum verified\n",
      fileMbps, fileMbps / rawMbps, static_cast<unsigned long long>(before.bytes));
  PrintSpread("MB/s", file);

  // (c)
  std::vector<double> roundTrips;
  roundTrips.reserve(kCommands);
  for (int i = 0; i < kCommands; ++i) {
    const Clock::time_point start = Clock::now();
    const bool ok = Command(link, command);
    const Clock::time_point end = Clock::now();
    if (!ok) {
      std::fprintf(stderr, "bench_link: command %d was not acknowledged\n", i + 1);
      return 1;
    }
    roundTrips.push_back(Seconds(start, end) * 1e3);
  }
  link.Close();

  // Every transaction must have reached the phone as exactly one request.
  const uint64_t sent = kWarmUpCommands + kTransfers + kCommands;
  const uint64_t requests = phone.Stats().requests;
  if (requests != sent) {
    std::fprintf(stderr, "bench_link: the phone saw %llu requests, %llu were sent\n",
                 static_cast<unsigned long long>(requests), static_cast<unsigned long long>(sent));
    return 1;
  }

  const double median = Median(roundTrips);
  const double p90 = Percentile(roundTrips, 0.9);
  std::printf(
      "AsyncTxRxEx round trip: median %.2f ms, p90 %.2f ms over %d commands (target <= "
      "%.1f ms, of which 1 ms is the fixed pause after sending): %s\n",
      median, p90, kCommands, kRoundTripTargetMs,
      median <= kRoundTripTargetMs ? "PASS" : "ABOVE TARGET");
  return 0;
}
