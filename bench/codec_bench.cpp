// bench_codec: throughput of the frame codec.
//
// FCS-16 over 64 MiB of random bytes, and frame encoding of 64 MiB of random bytes and of 64 MiB
// of flag bytes (0x7E, every one of which is escaped), both as one EncodeFrame call and as the
// 512 KiB blocks that CAsync::Encode sees when a data block is sent; SHA-256 over the same bytes,
// as a streamed partition is hashed. After the benchmarks it
// prints the ratios between runs of this same process.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corvane/protocol/async.h"
#include "corvane/protocol/hdlc.h"
#include "corvane/protocol/sha256.h"
#include "protocol/sha256_blocks.h"

namespace {

constexpr size_t kDataSize = 64u << 20;
constexpr size_t kBlockSize = 512u << 10;
constexpr double kFcsTargetBytesPerSecond = 1.5e9;
// Escaping every byte doubles the output, so encoding flag bytes should take about twice as long
// as encoding random bytes; much less than half the speed means the escape path itself is slow.
constexpr double kFlagRatioFloor = 0.4;

const std::vector<uint8_t>& RandomData() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> v(kDataSize);
    std::mt19937_64 rng(0x5EED);
    for (size_t i = 0; i < v.size(); i += 8) {
      const uint64_t x = rng();
      for (size_t k = 0; k < 8; ++k) v[i + k] = static_cast<uint8_t>(x >> (8 * k));
    }
    return v;
  }();
  return data;
}

const std::vector<uint8_t>& FlagData() {
  static const std::vector<uint8_t> data(kDataSize, hdlc::kFlag);
  return data;
}

const std::vector<uint8_t>& Data(int which) { return which == 0 ? RandomData() : FlagData(); }

void BM_Fcs16(benchmark::State& state) {
  const std::vector<uint8_t>& data = RandomData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(hdlc::Fcs16(data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

// The whole 64 MiB as one frame.
void BM_EncodeFrame(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(hdlc::MaxFrameSize(data.size()), 0);  // touched before timing
  size_t written = 0;
  for (auto _ : state) {
    written = hdlc::EncodeFrame(data.data(), data.size(), true, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
  state.counters["out/in"] = static_cast<double>(written) / static_cast<double>(data.size());
}

// 64 MiB as 512 KiB frames through one link's codec.
void BM_AsyncEncode(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data(static_cast<int>(state.range(0)));
  CAsync codec;
  codec.Encode(data.data(), kBlockSize, true);  // grows the encode buffer once, before timing
  size_t encoded = 0;
  for (auto _ : state) {
    encoded = 0;
    for (size_t off = 0; off < data.size(); off += kBlockSize) {
      codec.Encode(data.data() + off, kBlockSize, true);
      encoded += codec.EncodedLength();
      benchmark::DoNotOptimize(codec.Encoded());
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
  state.counters["out/in"] = static_cast<double>(encoded) / static_cast<double>(data.size());
}

// SHA-256 of 64 MiB in the 512 KiB blocks a partition streams in, with the processor's SHA
// instructions (accelerated:1) where it has them and with the portable loop (accelerated:0).
void BM_Sha256(benchmark::State& state) {
  const std::vector<uint8_t>& data = RandomData();
  sha256::detail::AllowAcceleration(state.range(0) != 0);
  for (auto _ : state) {
    sha256::Hasher hasher;
    for (size_t off = 0; off < data.size(); off += kBlockSize) {
      hasher.Update(data.data() + off, kBlockSize);
    }
    benchmark::DoNotOptimize(hasher.Finish());
  }
  sha256::detail::AllowAcceleration(true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

// Three repetitions each; the median stands for the benchmark (a shared 2-core machine is noisy).
void Configure(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
}

// Encoding runs on random bytes (flags:0) and on bytes that are all 0x7E (flags:1).
BENCHMARK(BM_Fcs16)->Apply(Configure);
BENCHMARK(BM_EncodeFrame)->ArgName("flags")->Arg(0)->Arg(1)->Apply(Configure);
BENCHMARK(BM_AsyncEncode)->ArgName("flags")->Arg(0)->Arg(1)->Apply(Configure);
BENCHMARK(BM_Sha256)->ArgName("accelerated")->Arg(1)->Arg(0)->Apply(Configure);

// The console report, keeping each run's bytes per second by benchmark name.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  RateReporter() : benchmark::ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      const auto it = run.counters.find("bytes_per_second");
      if (run.error_occurred || it == run.counters.end()) continue;
      // With --benchmark_repetitions the median (reported last) stands for the benchmark.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string& args = run.run_name.args;
      rates_[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = it->second.value;
    }
    ConsoleReporter::ReportRuns(reports);
  }

  // Bytes per second of `name` ("BM_EncodeFrame/flags:1"), or 0 when it did not run.
  double Rate(const std::string& name) const {
    const auto it = rates_.find(name);
    return it == rates_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> rates_;
};

void PrintRatio(const RateReporter& reporter, const char* what, const std::string& name) {
  const double random = reporter.Rate(name + "/flags:0");
  const double flags = reporter.Rate(name + "/flags:1");
  if (random <= 0.0 || flags <= 0.0) return;  // filtered out
  const double ratio = flags / random;
  std::printf(
      "ratio %s(0x7E data)/%s(random data) = %.2f (%.0f MB/s vs %.0f MB/s; "
      "expected >= %.1f as the output doubles): %s\n",
      what, what, ratio, flags / 1e6, random / 1e6, kFlagRatioFloor,
      ratio >= kFlagRatioFloor ? "OK" : "COLLAPSED");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  // Rates below are in 10^6 and 10^9 bytes per second (the table above counts in 1024s).
  std::printf("\n");
  const double fcs = reporter.Rate("BM_Fcs16");
  if (fcs > 0.0) {
    std::printf("FCS-16: %.2f GB/s (target >= %.1f GB/s): %s\n", fcs / 1e9,
                kFcsTargetBytesPerSecond / 1e9,
                fcs >= kFcsTargetBytesPerSecond ? "PASS" : "BELOW TARGET");
  }
  PrintRatio(reporter, "EncodeFrame", "BM_EncodeFrame");
  PrintRatio(reporter, "CAsync::Encode", "BM_AsyncEncode");
  const double fast = reporter.Rate("BM_Sha256/accelerated:1");
  const double portable = reporter.Rate("BM_Sha256/accelerated:0");
  if (fast > 0.0 && portable > 0.0) {
    std::printf("SHA-256: %.0f MB/s as chosen at run time, %.0f MB/s with the portable loop\n",
                fast / 1e6, portable / 1e6);
  }
  return 0;
}
