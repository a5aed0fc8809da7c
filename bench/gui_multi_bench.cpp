// bench_gui_multi: the multi-port window of tarvex writing eight simulated TQ4410 phones at
// once, each with an eMMC that writes 10 MB/s, on the offscreen platform. The phones live in
// this process on real pseudo-terminals; the window, its ticks and the plug-in's status windows
// are the program's own. Reported:
//  (a) each phone's share of its run spent waiting for the host (from its answer to the next
//      request), target <= 10 % for every phone;
//  (b) the GUI thread's busy share: its CPU time over the wall time of the whole run;
//  (c) what records cost: the phones' mean share against the same window keeping none (no
//      recorder attached), target <= 1 percentage point;
//  (d) the host's overhead against the floor: each phone's wait less the sequence's own pauses,
//      as a share of its run, beside the floor: the share the same phones wait for a minimal
//      writer (bench/support/floor_writer.h) that replays the first run's conversation into fresh
//      phones, all at once, with no plug-in, no reporting and no pauses. The phones' mean overhead
//      may exceed the floor's mean share by 3 points at most. A panel's pauses come from its steps
//      as its status window's outcome hands them over.
// Each runs --runs times, alternating; the run (the floor round) with the median mean share is
// reported. Every phone's stores are checked afterwards. Exits 1 when a run or a check fails or
// (a), (c) or (d) misses.
//
// Options: --phones N (8), --rate MB/s (10), --system MiB (24: the largest partition's image),
// --runs N (3).

#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/cli_run.h"
#include "bench/support/floor_writer.h"
#include "corvane/platform/process.h"
#include "corvane/platform/reporter.h"
#include "corvane/ports/port_enumeration.h"
#include "corvane/ports/published_ports.h"
#include "gui/multi_port_window.h"
#include "gui/normal_page_widget.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/sounds.h"
#include "host/records/recorder.h"
#include "host/run_request.h"
#include "sim/builders/sample_firmware.h"
#include "sim/tq4410.h"

namespace {

namespace fs = std::filesystem;

constexpr double kFloorPoints = 0.03;  // the host's overhead above the floor

struct Settings {
  int phones = 8;
  double rateMBps = 10;
  uint64_t systemMiB = 24;
  int runs = 3;
};

Settings Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--phones") s.phones = std::clamp(std::atoi(argv[i + 1]), 1, 8);
    if (a == "--rate") s.rateMBps = std::max(0.1, std::atof(argv[i + 1]));
    if (a == "--system")
      s.systemMiB = static_cast<uint64_t>(std::clamp(std::atoi(argv[i + 1]), 1, 1024));
    if (a == "--runs") s.runs = std::clamp(std::atoi(argv[i + 1]), 1, 15);
  }
  return s;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// When each slot's port started and reported, seen from the table as the user sees it.
struct SlotTimes {
  uint8_t port = 0;
  double start = -1, end = -1;
  std::string result;
};

std::string Cell(QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item != nullptr ? item->text().toStdString() : "";
}

// Runs the window until every phone has reported (or ten minutes), noting each slot's times.
std::vector<SlotTimes> Watch(gui::MultiPortDialog& window, int phones, double& wallSeconds) {
  std::vector<SlotTimes> times(static_cast<size_t>(phones));
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    const double now = static_cast<double>(clock.elapsed()) / 1000;
    int done = 0;
    for (int c = 0; c < phones; ++c) {
      SlotTimes& s = times[static_cast<size_t>(c)];
      const std::string state = Cell(window.Table(), 1, c);
      if (s.start < 0 && state == "Progress") {
        s.start = now;
        s.port = window.Run().SlotPort(c);
      }
      if (s.end < 0 && (state == "Pass" || state == "Fail")) {
        s.end = now;
        s.result = state;
      }
      done += s.end >= 0 ? 1 : 0;
    }
    if (done == phones || clock.elapsed() > 600000) loop.quit();
  });
  look.start(5);
  loop.exec();
  wallSeconds = static_cast<double>(clock.elapsed()) / 1000;
  return times;
}

struct Outcome : bench_support::PhoneShares {
  bool ok = true;
  double wall = 0;
  double guiCpu = 0;
};

// The sequence's own pauses in a panel's steps (of `kind` only, when given), as its status
// window's outcome handed them over.
double PausedSeconds(gui::MultiPortDialog& window, uint8_t port,
                     std::optional<notify::StepKind> kind = std::nullopt) {
  const notify::StepHistory* history = window.Run().PortSteps(port);
  uint64_t us = 0;
  if (history != nullptr) {
    for (const notify::StepRecord& step : history->steps) {
      if (!kind || step.kind == *kind) us += step.pausedUs;
    }
  }
  return static_cast<double>(us) / 1e6;
}

// One run of the window into fresh phones; each phone's line printed when `print`. With a
// `conversation`, one phone's is kept there (all phones are sent the same).
Outcome RunOnce(const RunRequest& request, const Settings& s,
                const phonesim::Tq4410Options& options,
                const phonesim::builders::SampleFirmware& firmware, bool print,
                std::vector<phonesim::Turn>* conversation = nullptr) {
  std::map<uint8_t, std::unique_ptr<phonesim::SimulatedTq4410>> phones;
  for (int i = 0; i < s.phones; ++i) {
    auto phone = std::make_unique<phonesim::SimulatedTq4410>(options);
    phones[phone->PortNumber()] = std::move(phone);
  }
  phonesim::Phone& kept = phones.begin()->second->Device();
  if (conversation != nullptr) kept.KeepConversation();
  Outcome o;
  const double cpu0 = ThreadCpuSeconds();
  gui::MultiPortDialog window(request, PortScan::SystemDiscovery());
  window.Start();
  const std::vector<SlotTimes> times = Watch(window, s.phones, o.wall);
  o.guiCpu = ThreadCpuSeconds() - cpu0;
  for (const SlotTimes& slot : times) {
    const auto found = phones.find(slot.port);
    if (found == phones.end() || slot.end < 0) {
      o.ok = false;
      continue;
    }
    phonesim::SimulatedTq4410& phone = *found->second;
    const double run = std::max(slot.end - slot.start, 1e-3);
    const bench_support::PhoneShare share =
        o.Add(phone.Device().Stats(), run, PausedSeconds(window, slot.port),
              PausedSeconds(window, slot.port, notify::StepKind::kPartition),
              PausedSeconds(window, slot.port, notify::StepKind::kModemImage), s.phones);
    const bool verified = phone.VerifyNormalDownload(firmware).ok;
    o.ok = o.ok && slot.result == "Pass" && verified;
    if (!print) continue;
    std::printf("  port %-3d %-4s %6.2f s  waiting for the host %5.2f %%  stores %s\n", slot.port,
                slot.result.c_str(), run, 100 * share.waiting, verified ? "match" : "DIFFER");
  }
  window.Run().CloseAll();
  if (conversation != nullptr) *conversation = kept.TakeConversation();
  if (!o.ok) std::printf("a run or a check FAILED\n");
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
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  gui::MuteSounds();
  const Settings s = Parse(argc, argv);
  const fs::path dir = bench_support::MakeDirectory("tarvex-bench-gui-multi-");
  fs::create_directories(dir / "sys/class/tty");
  fs::create_directories(dir / "settings");
  ports::SetSystemRoot((dir / "sys").string());  // only the simulated phones are seen
  ports::SetPublishDirectory((dir / "ports").string());

  fs::create_directories(dir / "firmware");
  const auto firmware = phonesim::builders::SampleFirmware::Write(
      (dir / "firmware").string(), bench_support::FirmwareSizes(s.systemMiB));
  phonesim::Tq4410Options options;
  options.emmcBytesPerSecond = static_cast<uint64_t>(s.rateMBps * 1e6);
  options.keepEmmcData = false;  // the host is measured, not the simulated chip's memory
  std::printf("bench_gui_multi: %d phones, eMMC %.1f MB/s each, %.1f MB of firmware per phone\n",
              s.phones, s.rateMBps, static_cast<double>(firmware.TotalBytes()) / 1e6);

  gui::SheetWindow sheet({{platform::ExecutableDirectory(), (dir / "settings").string()},
                          PortScan::SystemDiscovery()});
  NormalPage& page = sheet.Normal().Page();
  page.AddFiles(firmware.Files());
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());
  // As the program attaches them (every panel recorded, the images hashed once per window),
  // against the same window keeping none, alternating.
  const std::string file = (dir / "records.sqlite").string();
  auto recorder = std::make_shared<records::Recorder>(
      records::Recorder::Config{file, "", records::kKeepDays}, nullptr);
  const RunRequest bare = page.Request();
  std::vector<Outcome> with, without;
  std::vector<bench_support::Floor> floors;
  std::vector<phonesim::Turn> conversation;
  for (int i = 0; i < s.runs; ++i) {
    RunRequest recorded = bare;
    AttachRecords(recorded, recorder, records::Settings{}, PortScan::SystemDiscovery()());
    platform::SetStepDigestsWanted(true);  // as the program does, with records and without
    with.push_back(
        RunOnce(recorded, s, options, firmware, i == 0, i == 0 ? &conversation : nullptr));
    platform::SetStepDigestsWanted(false);
    without.push_back(RunOnce(bare, s, options, firmware, false));
    floors.push_back(bench_support::FloorRound(s.phones, options, firmware, conversation));
    bench_support::PrintRound(i + 1, with.back().mean, without.back().mean, floors.back());
  }
  recorder->Flush();
  const Outcome window = Median(with);
  const Outcome none = Median(without);
  const bench_support::Floor floor = bench_support::MedianFloor(floors);
  bool ok = std::all_of(with.begin(), with.end(), [](const Outcome& o) { return o.ok; }) &&
            std::all_of(without.begin(), without.end(), [](const Outcome& o) { return o.ok; }) &&
            floor.ok;
  const double cost = window.mean - none.mean;
  std::printf("median of %d runs (recorded, as shipped):\n", s.runs);
  std::printf(
      "(a) largest share of a phone's run waiting for the host: %.2f %% (target <= 10 %%): %s\n",
      100 * window.worst, window.worst <= 0.10 ? "PASS" : "FAIL");
  std::printf("(b) GUI thread busy: %.2f s of CPU in %.2f s wall time = %.1f %%\n", window.guiCpu,
              window.wall, window.wall > 0 ? 100 * window.guiCpu / window.wall : 0);
  std::printf(
      "(c) records: mean share waiting %.2f %% recorded, %.2f %% with none kept: %+.2f points "
      "(target <= 1): %s\n",
      100 * window.mean, 100 * none.mean, 100 * cost, cost <= 0.01 ? "PASS" : "FAIL");
  const bool nearFloor = bench_support::PrintAgainstFloor(
      "(d)", window.overheadMean, window.overheadWorst, floor, kFloorPoints);
  bench_support::PrintKinds(window.kinds, floor);
  if (!fs::exists(file)) {
    std::printf("the recorded window left no record file: FAILED\n");
    ok = false;
  }
  recorder.reset();
  ports::SetSystemRoot("");
  ports::SetPublishDirectory("");
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ok && window.worst <= 0.10 && cost <= 0.01 && nearFloor ? 0 : 1;
}
