// bench_multi: tarvex-cli's multi download into sixteen simulated TQ4410 phones at once, each with
// an eMMC that writes 10 MB/s, over real pseudo-terminals.
//
// The phones live in this process; tarvex-cli runs as a process of its own (as on a factory
// line), so its CPU time is the host's alone. Reported:
//  (a) each phone's share of its run spent waiting for the host (from its answer to the next
//      request), target <= 10 % for every phone;
//  (b) the aggregate rate: all phones' bytes over the wall time of the whole multi run;
//  (c) the host's CPU time per MiB written.
//  (d) what records cost: the phones' mean share against the same runs of a tarvex-cli that
//      keeps no records ([Records] File=none), target <= 1 percentage point;
//  (e) the host's overhead against the floor: each phone's wait less the sequence's own pauses
//      (which tarvex-cli reports), as a share of its run, beside the floor: the share the same
//      phones wait for a minimal writer (bench/support/floor_writer.h) that replays the first
//      run's conversation into fresh phones, all at once, with no plug-in, no reporting and no
//      pauses. The phones' mean overhead may exceed the floor's mean share by 2 points at most.
// Each runs --runs times, alternating; the run (the floor round) with the median mean share is
// reported.
// Every phone's stores are checked afterwards (lengths on the eMMC, bytes on the NOR).
// Exits 1 when a run or a check fails or a target is missed.
//
// Options: --phones N (16), --rate MB/s (10), --system MiB (24: the largest partition's image),
// --runs N (3).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/cli_run.h"
#include "bench/support/floor_writer.h"
#include "corvane/ports/published_ports.h"
#include "sim/tq4410.h"

namespace {

namespace fs = std::filesystem;
using bench_support::HostRun;
using bench_support::PhoneRun;

constexpr double kFloorPoints = 0.02;  // the host's overhead above the floor

struct Settings {
  int phones = 16;
  double rateMBps = 10;
  uint64_t systemMiB = 24;
  int runs = 3;
};

Settings Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--phones") s.phones = std::clamp(std::atoi(argv[i + 1]), 1, 16);
    if (a == "--rate") s.rateMBps = std::max(0.1, std::atof(argv[i + 1]));
    if (a == "--system")
      s.systemMiB = static_cast<uint64_t>(std::clamp(std::atoi(argv[i + 1]), 1, 1024));
    if (a == "--runs") s.runs = std::clamp(std::atoi(argv[i + 1]), 1, 15);
  }
  return s;
}

struct Outcome : bench_support::PhoneShares {
  bool ok = true;
  uint64_t bytes = 0;  // all phones' bytes
  double wallSeconds = 0;
  double cpuSeconds = 0;
};

// One multi run of `program` into fresh phones; each phone's line printed when `print`. With a
// `conversation`, the first phone's is kept there (all phones are sent the same).
Outcome RunOnce(const fs::path& dir, const fs::path& program, const Settings& s,
                const phonesim::Tq4410Options& options,
                const phonesim::builders::SampleFirmware& firmware, bool print,
                std::vector<phonesim::Turn>* conversation = nullptr) {
  std::vector<std::unique_ptr<phonesim::SimulatedTq4410>> phones;
  for (int i = 0; i < s.phones; ++i)
    phones.push_back(std::make_unique<phonesim::SimulatedTq4410>(options));
  if (conversation != nullptr) phones.front()->Device().KeepConversation();
  const HostRun host = bench_support::RunCli(
      dir, "multi download --json --wait 60 --count " + std::to_string(s.phones), firmware.Files(),
      program);
  Outcome o;
  o.ok = host.status == 0 && static_cast<int>(host.phones.size()) == s.phones;
  for (auto& phone : phones) {
    const std::string name = bench_support::PortName(phone->Path());
    const auto found = host.phones.find(name);
    const PhoneRun run = found == host.phones.end() ? PhoneRun{} : found->second;
    const bench_support::PhoneShare share =
        o.Add(phone->Device().Stats(), run.seconds, run.pausedSeconds, run.PausedIn("partition"),
              run.PausedIn("modem_image"), s.phones);
    const phonesim::Verification v = phone->VerifyNormalDownload(firmware);
    o.ok = o.ok && run.ok && v.ok;
    o.bytes += run.bytes;
    if (!print) continue;
    std::printf(
        "  %-6s %s  %6.2f s  %5.1f MB/s  waiting for the host %5.2f %% (host overhead %5.2f %%)"
        "  stores %s\n",
        name.c_str(), run.ok ? "ok    " : "FAILED", run.seconds,
        run.seconds > 0 ? static_cast<double>(run.bytes) / run.seconds / 1e6 : 0,
        100 * share.waiting, 100 * share.overhead, v.ok ? "match" : "DIFFER");
  }
  if (conversation != nullptr) *conversation = phones.front()->Device().TakeConversation();
  o.wallSeconds = host.wallSeconds;
  o.cpuSeconds = host.cpuSeconds;
  if (!o.ok) std::printf("a run or a check FAILED (host exit status %d)\n", host.status);
  return o;
}

// The run with the median mean share; failed runs sort last.
Outcome Median(std::vector<Outcome> runs) {
  std::sort(runs.begin(), runs.end(), [](const Outcome& a, const Outcome& b) {
    return a.ok != b.ok ? a.ok : a.mean < b.mean;
  });
  return runs[runs.size() / 2];
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
  // As shipped (every phone recorded, its files hashed) against the same program keeping none.
  const fs::path recorded = bench_support::PortableCli(dir / "recorded", "records.sqlite");
  const fs::path unrecorded = bench_support::PortableCli(dir / "unrecorded", "none");

  std::printf("bench_multi: %d phones, eMMC %.1f MB/s each, %.1f MB of firmware per phone\n",
              s.phones, s.rateMBps, static_cast<double>(firmware.TotalBytes()) / 1e6);
  std::vector<Outcome> with, without;
  std::vector<bench_support::Floor> floors;
  std::vector<phonesim::Turn> conversation;
  for (int i = 0; i < s.runs; ++i) {
    with.push_back(
        RunOnce(dir, recorded, s, options, firmware, i == 0, i == 0 ? &conversation : nullptr));
    without.push_back(RunOnce(dir, unrecorded, s, options, firmware, false));
    floors.push_back(bench_support::FloorRound(s.phones, options, firmware, conversation));
    bench_support::PrintRound(i + 1, with.back().mean, without.back().mean, floors.back());
  }
  const Outcome host = Median(with);
  const Outcome bare = Median(without);
  const bench_support::Floor floor = bench_support::MedianFloor(floors);
  bool ok = std::all_of(with.begin(), with.end(), [](const Outcome& o) { return o.ok; }) &&
            std::all_of(without.begin(), without.end(), [](const Outcome& o) { return o.ok; }) &&
            floor.ok;
  if (!fs::exists(recorded.parent_path() / "records.sqlite") ||
      fs::exists(unrecorded.parent_path() / "records.sqlite")) {
    std::printf("the records are not where the two programs' settings put them: FAILED\n");
    ok = false;
  }
  const double mib = static_cast<double>(host.bytes) / (1 << 20);
  std::printf("median of %d runs (recorded, as shipped):\n", s.runs);
  std::printf(
      "(a) largest share of a phone's run waiting for the host: %.2f %% (target <= 10 %%): %s\n",
      100 * host.worst, host.worst <= 0.10 ? "PASS" : "FAIL");
  std::printf(
      "(b) aggregate: %.1f MB in %.2f s wall time = %.1f MB/s (the eMMCs allow %.0f MB/s)\n",
      static_cast<double>(host.bytes) / 1e6, host.wallSeconds,
      static_cast<double>(host.bytes) / host.wallSeconds / 1e6, s.rateMBps * s.phones);
  std::printf("(c) host CPU time: %.2f s for %.1f MiB = %.1f ms per MiB\n", host.cpuSeconds, mib,
              mib > 0 ? 1000 * host.cpuSeconds / mib : 0);
  const double cost = host.mean - bare.mean;
  std::printf(
      "(d) records: mean share waiting %.2f %% recorded, %.2f %% with none kept: %+.2f points "
      "(target <= 1): %s\n",
      100 * host.mean, 100 * bare.mean, 100 * cost, cost <= 0.01 ? "PASS" : "FAIL");
  const bool nearFloor = bench_support::PrintAgainstFloor("(e)", host.overheadMean,
                                                          host.overheadWorst, floor, kFloorPoints);
  bench_support::PrintKinds(host.kinds, floor);
  ports::SetPublishDirectory("");
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ok && host.worst <= 0.10 && cost <= 0.01 && nearFloor ? 0 : 1;
}
