// bench_multi: tarvex-cli's multi download into eight simulated TQ4410 phones at once, each with
// an eMMC that writes 10 MB/s, over real pseudo-terminals.
//
// The phones live in this process; tarvex-cli runs as a process of its own (as on a factory
// line), so its CPU time is the host's alone. Reported:
//  (a) each phone's share of its run spent waiting for the host (from its answer to the next
//      request), target <= 10 % for every phone;
//  (b) the aggregate rate: all phones' bytes over the wall time of the whole multi run;
//  (c) the host's CPU time per MiB written.
// Every phone's stores are checked afterwards (lengths on the eMMC, bytes on the NOR).
// Exits 1 when a run or a check fails.
//
// Options: --phones N (8), --rate MB/s (10), --system MiB (24: the largest partition's image).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/cli_run.h"
#include "corvane/ports/published_ports.h"
#include "sim/tq4410.h"

namespace {

namespace fs = std::filesystem;
using bench_support::HostRun;
using bench_support::PhoneRun;

struct Settings {
  int phones = 8;
  double rateMBps = 10;
  uint64_t systemMiB = 24;
};

HostRun RunHost(const fs::path& dir, const std::vector<std::string>& files, int phones) {
  return bench_support::RunCli(
      dir, "multi download --json --wait 60 --count " + std::to_string(phones), files);
}

Settings Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--phones") s.phones = std::clamp(std::atoi(argv[i + 1]), 1, 64);
    if (a == "--rate") s.rateMBps = std::max(0.1, std::atof(argv[i + 1]));
    if (a == "--system")
      s.systemMiB = static_cast<uint64_t>(std::clamp(std::atoi(argv[i + 1]), 1, 1024));
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings s = Parse(argc, argv);
  const fs::path dir = bench_support::MakeDirectory("tarvex-bench-multi-");
  // Announce the phones where the host process (given this runtime directory) looks.
  ports::SetPublishDirectory((dir / "tarvex-ports").string());

  fs::create_directories(dir / "firmware");
  const auto firmware = phonesim::builders::SampleFirmware::Write(
      (dir / "firmware").string(), bench_support::FirmwareSizes(s.systemMiB));

  phonesim::Tq4410Options options;
  options.emmcBytesPerSecond = static_cast<uint64_t>(s.rateMBps * 1e6);
  options.keepEmmcData = false;  // the host is measured, not the simulated chip's memory
  std::vector<std::unique_ptr<phonesim::SimulatedTq4410>> phones;
  for (int i = 0; i < s.phones; ++i)
    phones.push_back(std::make_unique<phonesim::SimulatedTq4410>(options));

  std::printf("bench_multi: %d phones, eMMC %.1f MB/s each, %.1f MB of firmware per phone\n",
              s.phones, s.rateMBps, static_cast<double>(firmware.TotalBytes()) / 1e6);
  const HostRun host = RunHost(dir, firmware.Files(), s.phones);

  bool ok = host.status == 0 && static_cast<int>(host.phones.size()) == s.phones;
  double worst = 0;
  uint64_t bytes = 0;
  for (auto& phone : phones) {
    const std::string name = bench_support::PortName(phone->Path());
    const auto found = host.phones.find(name);
    const PhoneRun run = found == host.phones.end() ? PhoneRun{} : found->second;
    const double waiting = static_cast<double>(phone->Device().Stats().waitingForHostUs) / 1e6;
    const double share = run.seconds > 0 ? waiting / run.seconds : 1;
    const phonesim::Verification v = phone->VerifyNormalDownload(firmware);
    ok = ok && run.ok && v.ok;
    worst = std::max(worst, share);
    bytes += run.bytes;
    std::printf("  %-6s %s  %6.2f s  %5.1f MB/s  waiting for the host %5.2f %%  stores %s\n",
                name.c_str(), run.ok ? "ok    " : "FAILED", run.seconds,
                run.seconds > 0 ? static_cast<double>(run.bytes) / run.seconds / 1e6 : 0,
                100 * share, v.ok ? "match" : "DIFFER");
  }
  const double mib = static_cast<double>(bytes) / (1 << 20);
  std::printf(
      "(a) largest share of a phone's run waiting for the host: %.2f %% (target <= 10 %%): %s\n",
      100 * worst, worst <= 0.10 ? "PASS" : "FAIL");
  std::printf(
      "(b) aggregate: %.1f MB in %.2f s wall time = %.1f MB/s (the eMMCs allow %.0f MB/s)\n",
      static_cast<double>(bytes) / 1e6, host.wallSeconds,
      static_cast<double>(bytes) / host.wallSeconds / 1e6, s.rateMBps * s.phones);
  std::printf("(c) host CPU time: %.2f s for %.1f MiB = %.1f ms per MiB\n", host.cpuSeconds, mib,
              mib > 0 ? 1000 * host.cpuSeconds / mib : 0);
  phones.clear();
  ports::SetPublishDirectory("");
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (!ok) std::printf("a run or a check FAILED (host exit status %d)\n", host.status);
  return ok ? 0 : 1;
}
