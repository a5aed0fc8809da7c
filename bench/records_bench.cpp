// bench_records: how fast a line finds one phone among its records. A station's file is filled
// with 100,000 ended runs (a partition file each, a few status lines), then `records --serial`'s
// query is timed, by USB serial and by the phone's PID, newest first, as the CLI and the Records
// window ask it. Target: under 1 s (the index on both columns makes it milliseconds).
// Also reports the writer's rate while filling (one transaction per record, as a run's end).
//
// Exits 1 when a query misses the target or finds other than the one phone's runs.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/records/local_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 100000;
constexpr int kPhones = 25000;  // four runs of each phone
constexpr double kTargetS = 1.0;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

records::Record Run(int n) {
  records::Record r;
  r.id = records::NewId();
  r.state = records::kEnded;
  r.station = "line-" + std::to_string(n % 12);
  r.startMs = 1'760'000'000'000 + int64_t{n} * 30'000;
  r.endMs = r.startMs + 95'000;
  r.mode = "normal";
  r.verdict = n % 17 == 0 ? records::kFail : records::kPass;
  r.phone.port = "COM" + std::to_string(n % 8 + 1);
  r.phone.usbSerial = "SN" + std::to_string(n % kPhones);
  r.phone.pid = "PID" + std::to_string(n % kPhones);
  r.files.push_back({"/fw/system.img", 96u << 20, std::string(64, 'e'), 96u << 20, false,
                     "partition", 0, 96u << 20, 90'000, r.verdict});
  r.lines = {"Download Start...", "system.img  writing start", "system.img  Download success"};
  return r;
}

}  // namespace

int main() {
  const std::string file =
      (std::filesystem::temp_directory_path() / "tarvex-records-bench.sqlite").string();
  std::filesystem::remove(file);
  std::string error;
  auto store = records::LocalStore::Open(file, error);
  if (!store) {
    std::fprintf(stderr, "bench_records: %s\n", error.c_str());
    return 1;
  }
  const auto fill = Clock::now();
  for (int n = 0; n < kRecords; ++n) store->Complete(Run(n));
  const double fillS = Seconds(fill);
  std::printf("records written: %d in %.1f s (%.0f records/s, one transaction each)\n", kRecords,
              fillS, kRecords / fillS);

  bool ok = true;
  for (const char* serial : {"SN12345", "PID24999"}) {
    records::Query q;
    q.serial = serial;
    auto reopened = records::LocalStore::OpenToRead(file, error);
    const auto start = Clock::now();
    const auto found = reopened->Find(q);
    const double s = Seconds(start);
    const bool right = found.size() == kRecords / kPhones;
    ok = ok && right && s < kTargetS;
    std::printf("records --serial %-9s %zu runs in %.4f s (target < %.1f s)  %s\n", serial,
                found.size(), s, kTargetS, right && s < kTargetS ? "ok" : "MISSED");
  }
  std::filesystem::remove(file);
  std::filesystem::remove(file + "-wal");
  std::filesystem::remove(file + "-shm");
  return ok ? 0 : 1;
}
