// bench_omap: one eMMC partition streamed from its file with OMAPFileBaseDownload into a simulated
// phone over a pseudo-terminal.
//
//  (a) with the simulated eMMC writing 40 MB/s: the share of wall time the phone spends waiting
//      for the host (from sending an acknowledgement to the first byte of the next request),
//      target <= 5 %, and the rate achieved;
//  (b) unthrottled: the rate as a ratio to raw pseudo-terminal streaming of the same file in the
//      same run, target >= 0.7 (the protocol's fixed 1 ms pause per 512 KiB block is the rest);
//  (c) peak resident memory after a 16 MiB and after a 64 MiB partition: flat in the partition
//      size (the phone keeps no copy of the data here, so the figure is the host's).
// Exits 1 when a download fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/process.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/platform/serial_device.h"
#include "corvane/protocol/misc_util_comm.h"
#include "sim/model_phone.h"
#include "sim/omap_agent.h"
#include "sim/phone.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMiB = 1 << 20;
constexpr size_t kChunk = 512 * 1024;
constexpr uint64_t kEmmcRate = 40'000'000;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// A partition image on disk, written in chunks so that the bench itself stays small.
std::string MakeImage(const std::filesystem::path& dir, size_t bytes) {
  const std::string path = (dir / ("part-" + std::to_string(bytes / kMiB) + "m.img")).string();
  std::ofstream out(path, std::ios::binary);
  std::vector<char> chunk(kChunk);
  for (size_t done = 0; done < bytes; done += chunk.size()) {
    for (size_t i = 0; i < chunk.size(); ++i)
      chunk[i] = static_cast<char>((done + i) * 2654435761u >> 13);
    out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), bytes - done)));
  }
  return path;
}

struct Result {
  bool ok = false;
  double seconds = 0;
  double waitShare = 0;
};

Result Download(const std::string& path, size_t bytes, uint64_t rate) {
  auto model = std::make_unique<phonesim::ModelPhone>();
  auto& agent = model->Add(std::make_unique<phonesim::OmapAgent>());
  agent.KeepPartitionData(false);
  agent.Emmc().SetDiscard(true);
  agent.Emmc().SetRate(rate);
  phonesim::Phone phone(std::move(model));
  CMiscUtilComm link;
  CBasicFlash flash;
  flash.SetDefaultTimeout(10000);
  Result r;
  if (!link.SetComPort(phone.PortNumber()) || !flash.OMAPFlashStart(&link)) return r;
  const phonesim::PhoneStats before = phone.Stats();
  const auto t0 = Clock::now();
  r.ok = flash.OMAPFileBaseDownload(path.c_str(), 70, 0, static_cast<uint32_t>(bytes), &link) == 1;
  r.seconds = Seconds(t0);
  const phonesim::PhoneStats after = phone.Stats();
  r.waitShare =
      static_cast<double>(after.waitingForHostUs - before.waitingForHostUs) / 1e6 / r.seconds;
  phone.WithPersonality([&](phonesim::Personality&) {
    r.ok = r.ok && !agent.Partitions().empty() && agent.Partitions()[0].received >= bytes;
  });
  link.Close();
  return r;
}

// The same file pushed through a pseudo-terminal with no protocol at all.
double RawStreamSeconds(const std::string& path, size_t bytes) {
  auto pty = platform::PseudoTerminal::Create();
  auto device = platform::SerialDevice::Create();
  if (!pty || !device->Open(pty->Path()) || !device->SetLine({})) return 0;
  std::thread reader([&] {
    std::vector<uint8_t> buffer(64 * 1024);
    size_t got = 0, total = 0;
    while (total < bytes) {
      if (pty->Read(buffer.data(), buffer.size(), got, 1000) != platform::IoStatus::kOk) {
        if (got == 0 && !pty->IsOpen()) break;
      }
      total += got;
    }
  });
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(kChunk);
  const auto t0 = Clock::now();
  for (size_t done = 0; done < bytes; done += chunk.size()) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    device->Write(chunk.data(), static_cast<size_t>(in.gcount()), 10000);
  }
  reader.join();
  return Seconds(t0);
}

double MBps(size_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / "tarvex-bench-omap";
  std::filesystem::create_directories(dir);
  const size_t small = 16 * kMiB, large = 64 * kMiB;
  const std::string smallImage = MakeImage(dir, small);
  const std::string largeImage = MakeImage(dir, large);

  // (c) and (b) first, before anything else has raised the peak.
  const Result s = Download(smallImage, small, 0);
  const uint64_t peakSmall = platform::PeakResidentBytes();
  const Result l = Download(largeImage, large, 0);
  const uint64_t peakLarge = platform::PeakResidentBytes();
  const double raw = RawStreamSeconds(largeImage, large);
  const Result t = Download(largeImage, large, kEmmcRate);
  std::filesystem::remove_all(dir);
  if (!s.ok || !l.ok || !t.ok) {
    std::printf("a download failed (16 MiB: %d, 64 MiB: %d, 64 MiB at 40 MB/s: %d)\n", s.ok, l.ok,
                t.ok);
    return 1;
  }

  std::printf(
      "(a) 64 MiB into an eMMC of 40 MB/s: %.1f MB/s, phone waiting for the host %.2f %% "
      "of the time (target <= 5 %%): %s\n",
      MBps(large, t.seconds), 100 * t.waitShare, t.waitShare <= 0.05 ? "PASS" : "ABOVE TARGET");
  const double ratio = MBps(large, l.seconds) / MBps(large, raw);
  std::printf(
      "(b) 64 MiB unthrottled: %.1f MB/s; raw pseudo-terminal streaming %.1f MB/s; ratio "
      "%.2f (target >= 0.7): %s\n",
      MBps(large, l.seconds), MBps(large, raw), ratio, ratio >= 0.7 ? "PASS" : "BELOW TARGET");
  const double growth = (static_cast<double>(peakLarge) - static_cast<double>(peakSmall)) / kMiB;
  std::printf(
      "(c) peak resident memory: %.1f MiB after 16 MiB, %.1f MiB after 64 MiB (growth %.1f "
      "MiB for 48 MiB more data; target: flat): %s\n",
      static_cast<double>(peakSmall) / kMiB, static_cast<double>(peakLarge) / kMiB, growth,
      growth < 4.0 ? "PASS" : "GROWS");
  return 0;
}
