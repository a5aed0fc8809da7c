#pragma once

// The floor of a phone's wait for the host: a writer that does nothing but replay a recorded
// conversation (sim Phone::KeepConversation) into a fresh phone, each turn's bytes as soon as
// the previous answer has arrived. No plug-in, no reporting, no pauses: what the phone still
// waits for it is the pseudo-terminal's latency, thread wake-ups and, with many phones on few
// cores, their competition for the CPU. A host's wait is judged against it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <latch>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/serial_device.h"
#include "sim/builders/sample_firmware.h"
#include "sim/phone.h"
#include "sim/tq4410.h"

namespace bench_support {

struct FloorRun {
  bool ok = false;
  double seconds = 0;  // from the first write to the last answer
  uint64_t bytes = 0;  // written
};

constexpr int kFloorStallMs = 10000;        // this long without progress ends a replay
constexpr size_t kFloorWriteSlice = 65536;  // each slice gets the whole time-out

// The port as the host opens it: 115200 8N1, raw. Null when it cannot be opened.
inline std::unique_ptr<platform::SerialDevice> OpenFloorPort(const std::string& path) {
  auto port = platform::SerialDevice::Create();
  if (!port->Open(path) || !port->SetLine(platform::LineParams{})) return nullptr;
  return port;
}

inline bool WriteTurn(platform::SerialDevice& port, const std::vector<uint8_t>& bytes) {
  for (size_t done = 0; done < bytes.size(); done += kFloorWriteSlice) {
    const size_t length = std::min(kFloorWriteSlice, bytes.size() - done);
    if (port.Write(bytes.data() + done, length, kFloorStallMs) != platform::IoStatus::kOk) {
      return false;
    }
  }
  return true;
}

// Reads exactly `length` bytes of answer.
inline bool ReadAnswer(platform::SerialDevice& port, uint64_t length) {
  std::vector<uint8_t> buffer(4096);
  while (length > 0) {
    if (port.WaitReadable(kFloorStallMs) != platform::IoStatus::kOk) return false;
    size_t got = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, buffer.size()));
    if (port.Read(buffer.data(), want, got) != platform::IoStatus::kOk) return false;
    length -= got;
  }
  return true;
}

inline FloorRun Replay(platform::SerialDevice& port, const std::vector<phonesim::Turn>& turns) {
  FloorRun run;
  const auto start = std::chrono::steady_clock::now();
  for (const phonesim::Turn& turn : turns) {
    if (!WriteTurn(port, turn.request) || !ReadAnswer(port, turn.answerBytes)) return run;
    run.bytes += turn.request.size();
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.ok = true;
  return run;
}

// One writer per port, each on a thread of its own, all starting together once every port is
// open. The runs come back in the order of `portPaths`.
inline std::vector<FloorRun> ReplayAtOnce(const std::vector<std::string>& portPaths,
                                          const std::vector<phonesim::Turn>& turns) {
  std::vector<std::unique_ptr<platform::SerialDevice>> ports;
  for (const std::string& path : portPaths) ports.push_back(OpenFloorPort(path));
  std::vector<FloorRun> runs(ports.size());
  std::latch go(static_cast<std::ptrdiff_t>(ports.size()));
  std::vector<std::jthread> writers;
  for (size_t i = 0; i < ports.size(); ++i) {
    writers.emplace_back([&, i] {
      go.arrive_and_wait();
      if (ports[i]) runs[i] = Replay(*ports[i], turns);
    });
  }
  writers.clear();  // joins them
  return runs;
}

// The phones' waits in a floor round: each phone's wait over its writer's run.
struct Floor {
  bool ok = true;
  double mean = 0;   // the phones' mean share
  double worst = 0;  // the largest
  // The phones' mean share by what the waits followed (phonesim's channels: "emmc", "modem").
  std::map<std::string, double> byChannel;

  double In(const std::string& channel) const {
    const auto found = byChannel.find(channel);
    return found == byChannel.end() ? 0 : found->second;
  }
};

// A floor round: `phones` fresh phones made with `options`, the conversation replayed into all
// of them at once. Every phone's stores must hold the firmware afterwards, as after the host's
// run: the replay drove them through the same download.
inline Floor FloorRound(int phones, const phonesim::Tq4410Options& options,
                        const phonesim::builders::SampleFirmware& firmware,
                        const std::vector<phonesim::Turn>& turns) {
  std::vector<std::unique_ptr<phonesim::SimulatedTq4410>> fresh;
  std::vector<std::string> paths;
  for (int i = 0; i < phones; ++i) {
    fresh.push_back(std::make_unique<phonesim::SimulatedTq4410>(options));
    paths.push_back(fresh.back()->Path());
  }
  const std::vector<FloorRun> runs = ReplayAtOnce(paths, turns);
  Floor floor;
  for (size_t i = 0; i < runs.size(); ++i) {
    const phonesim::PhoneStats stats = fresh[i]->Device().Stats();
    const double seconds = runs[i].seconds > 0 ? runs[i].seconds : 1e-3;
    const double share = static_cast<double>(stats.waitingForHostUs) / 1e6 / seconds;
    for (const auto& [channel, us] : stats.waitingByChannelUs) {
      floor.byChannel[channel] +=
          static_cast<double>(us) / 1e6 / seconds / static_cast<double>(runs.size());
    }
    floor.ok = floor.ok && runs[i].ok && fresh[i]->VerifyNormalDownload(firmware).ok;
    floor.mean += share / static_cast<double>(runs.size());
    floor.worst = std::max(floor.worst, share);
  }
  return floor;
}

// The round with the median mean share; failed rounds sort last.
inline Floor MedianFloor(std::vector<Floor> rounds) {
  std::sort(rounds.begin(), rounds.end(),
            [](const Floor& a, const Floor& b) { return a.ok != b.ok ? a.ok : a.mean < b.mean; });
  return rounds[rounds.size() / 2];
}

// The host's part of a phone's wait, as a share of its run: what the sequence's own pauses do
// not account for.
inline double HostOverhead(double waitedSeconds, double pausedSeconds, double runSeconds) {
  return runSeconds > 0 ? std::max(0.0, waitedSeconds - pausedSeconds) / runSeconds : 1;
}

// One round's line: the phones' mean share waiting for the host, recorded and not, and the floor.
inline void PrintRound(int run, double recorded, double unrecorded, const Floor& floor) {
  std::printf(
      "run %d: mean share waiting for the host: recorded %.2f %%, unrecorded %.2f %%, floor "
      "%.2f %%%s\n",
      run, 100 * recorded, 100 * unrecorded, 100 * floor.mean,
      floor.ok ? "" : " (the floor's replay FAILED)");
}

// The floor, and the host's overhead per phone (mean and largest) against it, under `label`;
// true when the mean is within `points` of the floor's.
inline bool PrintAgainstFloor(const char* label, double overheadMean, double overheadWorst,
                              const Floor& floor, double points) {
  const double above = overheadMean - floor.mean;
  std::printf(
      "%s floor (a minimal writer, no plug-in, no reporting, no pauses): mean share %.2f %%, "
      "largest %.2f %%\n",
      label, 100 * floor.mean, 100 * floor.worst);
  std::printf(
      "    host overhead per phone (its wait less its pauses) within %.0f points of the floor: "
      "mean %.2f %% vs floor %.2f %% (%+.2f points) (target <= %.0f): %s; largest %.2f %%\n",
      100 * points, 100 * overheadMean, 100 * floor.mean, 100 * above, 100 * points,
      above <= points ? "PASS" : "FAIL", 100 * overheadWorst);
  return above <= points;
}

// The phones' mean host overhead by what their waits followed: the eMMC's answers against the
// partition steps' pauses, the modem's against the modem images' pauses, as shares of each run.
struct KindOverheads {
  double emmc = 0;
  double modem = 0;

  void Add(const phonesim::PhoneStats& stats, double emmcPaused, double modemPaused,
           double runSeconds, int phones) {
    const auto waited = [&](const char* channel) {
      const auto found = stats.waitingByChannelUs.find(channel);
      return found == stats.waitingByChannelUs.end() ? 0 : static_cast<double>(found->second) / 1e6;
    };
    emmc += HostOverhead(waited("emmc"), emmcPaused, runSeconds) / phones;
    modem += HostOverhead(waited("modem"), modemPaused, runSeconds) / phones;
  }
};

// One phone's wait for the host, as shares of its run.
struct PhoneShare {
  double waiting = 0;   // its whole wait
  double overhead = 0;  // the host's part of it (HostOverhead)
};

// The phones of one multi run: their shares waiting for the host and of the host's overhead,
// mean and largest, and the overhead by kind.
struct PhoneShares {
  double worst = 0;
  double mean = 0;
  double overheadMean = 0;
  double overheadWorst = 0;
  KindOverheads kinds;

  // One of `phones` phones, whose run of `runSeconds` held `paused` seconds of the sequence's own
  // pauses, `emmcPaused` and `modemPaused` of them in its partition and modem image steps.
  PhoneShare Add(const phonesim::PhoneStats& stats, double runSeconds, double paused,
                 double emmcPaused, double modemPaused, int phones) {
    const double waited = static_cast<double>(stats.waitingForHostUs) / 1e6;
    const PhoneShare one{runSeconds > 0 ? waited / runSeconds : 1,
                         HostOverhead(waited, paused, runSeconds)};
    worst = std::max(worst, one.waiting);
    mean += one.waiting / phones;
    overheadMean += one.overhead / phones;
    overheadWorst = std::max(overheadWorst, one.overhead);
    kinds.Add(stats, emmcPaused, modemPaused, runSeconds, phones);
    return one;
  }
};

inline void PrintKinds(const KindOverheads& host, const Floor& floor) {
  std::printf(
      "    by kind, the phones' mean: eMMC stream host %.2f %% (floor %.2f), modem images host "
      "%.2f %% (floor %.2f)\n",
      100 * host.emmc, 100 * floor.In("emmc"), 100 * host.modem, 100 * floor.In("modem"));
}

}  // namespace bench_support
