// bench_gui_download: the single-port download window against tarvex-cli's download, each into
// one simulated TQ4410 whose eMMC writes 40 MB/s, over a real pseudo-terminal.
//
// The phones live in this process; each host runs as a process of its own, so its CPU time is
// the host's alone: tarvex-cli, then this program again with --window, which opens the real
// window (the sheet's pages, model.so, the sample firmware) on the offscreen platform, shown,
// and runs it to "Download complete!". Reported for both:
//  (a) the phone's share of the run spent waiting for the host (from its answer to the next
//      request), split into the sequence's own pauses and expected time-outs (which the host
//      counts, platform::PausedUs) and the rest, the host's overhead; the same for the
//      partitions' stream and for the modem's images (the phone's waits after its eMMC's or its
//      modem's answers against those steps' pauses);
//  (b) the run's wall time and rate;
//  (c) the host's CPU time per MiB written (the window's from its start to its end; tarvex-cli's
//      for its whole process);
//  and the GUI thread's busy share while the window runs (its CPU time over the wall time);
//  (d) what records cost: both front ends run again keeping none ([Records] File=none, and a
//      window without a recorder); the phone's share may grow by at most 1 point with them;
//  and the floor: the share a fresh phone waits for a minimal writer
//      (bench/support/floor_writer.h) that replays tarvex-cli's first conversation with no
//      plug-in, no reporting and no pauses: the part of the wait that is the link's, not the
//      host's, per step kind. At 40 MB/s the floor alone is above 1 % of the run on a 2-core
//      machine, so each front end's overhead above it must stay within 1 point, for the whole
//      run and for each step kind;
//  and both front ends once more into a phone whose eMMC writes 4 MB/s, a real phone's pace:
//      the split a technician sees, where the host's overhead must stay within 1 % of the run
//      and each step kind within 1 point of its pauses.
// Each phone's stores are checked afterwards (lengths on the eMMC, bytes on the NOR).
// Exits 1 when a run or a check fails or a target is missed.
//
// Each front end runs --runs times, alternating, and its run with the median share is reported
// (a machine shared with builds wakes threads late now and then).
//
// Options: --rate MB/s (40), --system MiB (96: the largest partition's image), --runs N (3).

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/cli_run.h"
#include "bench/support/floor_writer.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/process.h"
#include "corvane/platform/reporter.h"
#include "corvane/ports/published_ports.h"
#include "corvane/ports/serial_port_entry.h"
#include "gui/download_window.h"
#include "gui/normal_page_widget.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/sounds.h"
#include "host/current_page.h"
#include "host/records/recorder.h"
#include "host/run_request.h"
#include "sim/tq4410.h"
#include "widgets/text_progress_bar.h"

namespace {

namespace fs = std::filesystem;
using bench_support::Clock;
using bench_support::HostRun;

constexpr double kHostShare = 0.01;    // the host's overhead, of a phone's whole run
constexpr double kKindPoints = 0.01;   // each step kind's wait above its own pauses
constexpr double kRecordsCost = 0.01;  // recording may add at most 1 point to the phone's wait
constexpr const char* kComplete = "Download complete!";
constexpr uint64_t kRealPaceBytesPerS = 4000000;  // a real phone's eMMC through its loader

struct Settings {
  double rateMBps = 40;
  uint64_t systemMiB = 96;
  int runs = 3;
};

Settings Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--rate") s.rateMBps = std::max(0.1, std::atof(argv[i + 1]));
    if (a == "--system")
      s.systemMiB = static_cast<uint64_t>(std::clamp(std::atoi(argv[i + 1]), 1, 1024));
    if (a == "--runs") s.runs = std::clamp(std::atoi(argv[i + 1]), 1, 15);
  }
  return s;
}

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// --- the window's process ---------------------------------------------------------------------

struct WindowFigures {
  std::string text;  // the bar's last text
  double seconds = 0;
  double cpuSeconds = 0;
  double guiCpuSeconds = 0;
};

// Waits in the event loop, as the program does, until the bar shows a verdict (or 10 minutes).
WindowFigures RunWindow(gui::DownloadWindowDialog& window) {
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  WindowFigures f;
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (bar->Text() == kComplete || bar->Text() == "Error") loop.quit();
  });
  look.start(10);
  QTimer::singleShot(600000, &loop, &QEventLoop::quit);
  const double cpu0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double gui0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  const auto t0 = Clock::now();
  window.Start();
  loop.exec();
  f.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  f.guiCpuSeconds = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - gui0;
  f.cpuSeconds = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  f.text = bar->Text().toStdString();
  return f;
}

// --window PHONE_PATH SETTINGS_DIRECTORY RECORDS_FILE FILE...: one line of figures on standard
// output. RECORDS_FILE "none" keeps no records.
int WindowProcess(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  gui::MuteSounds();
  const std::string settingsDirectory = argv[3];
  SerialPortEntry entry;
  entry.devicePath = argv[2];
  entry.portName = bench_support::PortName(entry.devicePath);
  entry.isUsb = 1;
  entry.portNumber = platform::BindPort(entry.devicePath);
  entry.description = phonesim::Tq4410Identity().description;
  gui::SheetWindow sheet({{platform::ExecutableDirectory(), settingsDirectory},
                          [entry] { return std::vector<SerialPortEntry>{entry}; }});
  NormalPage& page = sheet.Normal().Page();
  page.AddFiles(std::vector<std::string>(argv + 5, argv + argc));
  for (int i = 0; i < 5; ++i) page.ScanTimer();
  // Read before the window opens, so that its run is the download alone.
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());

  RunRequest request = page.Request();
  std::shared_ptr<records::Recorder> recorder;
  const std::string file = argv[4];
  platform::SetStepDigestsWanted(file != records::kNoFile);  // as the program does
  if (file != records::kNoFile) {
    // As the program attaches them: the same recorder writes every window's record.
    recorder = std::make_shared<records::Recorder>(
        records::Recorder::Config{file, "", records::kKeepDays}, nullptr);
    AttachRecords(request, recorder, records::Settings{}, {entry});
  }
  gui::DownloadWindowDialog window(request, settingsDirectory);
  window.show();
  const WindowFigures f = RunWindow(window);
  window.reject();
  if (recorder) recorder->Flush();
  uint64_t partitionUs = 0, modemUs = 0;
  for (const notify::StepRecord& step : window.Run().Steps().Snapshot().steps) {
    if (step.kind == notify::StepKind::kPartition) partitionUs += step.pausedUs;
    if (step.kind == notify::StepKind::kModemImage) modemUs += step.pausedUs;
  }
  std::printf(
      "{\"text\":\"%s\",\"seconds\":%.6f,\"cpu_seconds\":%.6f,\"gui_cpu_seconds\":%.6f,"
      "\"paused_seconds\":%.6f,\"paused_partition\":%.6f,\"paused_modem_image\":%.6f}\n",
      f.text.c_str(), f.seconds, f.cpuSeconds, f.guiCpuSeconds,
      static_cast<double>(window.Run().PausedUs()) / 1e6, static_cast<double>(partitionUs) / 1e6,
      static_cast<double>(modemUs) / 1e6);
  return f.text == kComplete ? 0 : 1;
}

// --- the measuring process --------------------------------------------------------------------

// Shares of a run: what the phone waited for the host, and how much of that the sequence's own
// pauses and expected time-outs account for; the rest is the host's overhead.
struct Split {
  double wait = 0;
  double paused = 0;
  double Host() const { return std::max(0.0, wait - paused); }
};

struct Outcome {
  bool ok = false;
  double seconds = 0;     // the run, as the host timed it
  double cpuSeconds = 0;  // the host's
  double guiCpuSeconds = -1;
  Split all{1, 0};
  Split emmc;   // the partitions' stream (waits after the eMMC's answers, partition steps' pauses)
  Split modem;  // the modem's images (waits after the modem's answers, their steps' pauses)
  bool storesMatch = false;
};

// The phone's side: its waits by what they followed, as shares of the host's run.
void Finish(Outcome& o, phonesim::SimulatedTq4410& phone,
            const phonesim::builders::SampleFirmware& firmware) {
  const phonesim::PhoneStats stats = phone.Device().Stats();
  const auto share = [&](uint64_t us) {
    return o.seconds > 0 ? static_cast<double>(us) / 1e6 / o.seconds : 1;
  };
  const auto channel = [&](const char* name) {
    const auto found = stats.waitingByChannelUs.find(name);
    return share(found == stats.waitingByChannelUs.end() ? 0 : found->second);
  };
  o.all.wait = share(stats.waitingForHostUs);
  o.emmc.wait = channel("emmc");
  o.modem.wait = channel("modem");
  o.storesMatch = phone.VerifyNormalDownload(firmware).ok;
  o.ok = o.ok && o.storesMatch;
}

// With a `conversation`, the phone's is kept there.
Outcome RunCli(const fs::path& dir, const fs::path& program, const phonesim::Tq4410Options& options,
               const phonesim::builders::SampleFirmware& firmware,
               std::vector<phonesim::Turn>* conversation = nullptr) {
  phonesim::SimulatedTq4410 phone(options);
  if (conversation != nullptr) phone.Device().KeepConversation();
  const HostRun host = bench_support::RunCli(
      dir, "download --json --wait 60 --port '" + phone.Path() + "'", firmware.Files(), program);
  const auto found = host.phones.find(bench_support::PortName(phone.Path()));
  Outcome o;
  if (found != host.phones.end()) {
    const bench_support::PhoneRun& run = found->second;
    o.ok = host.status == 0 && run.ok;
    o.seconds = run.seconds;
    if (o.seconds > 0) {
      o.all.paused = run.pausedSeconds / o.seconds;
      o.emmc.paused = run.PausedIn("partition") / o.seconds;
      o.modem.paused = run.PausedIn("modem_image") / o.seconds;
    }
  }
  o.cpuSeconds = host.cpuSeconds;
  Finish(o, phone, firmware);
  if (conversation != nullptr) *conversation = phone.Device().TakeConversation();
  if (!o.ok) std::printf("tarvex-cli FAILED (exit status %d)\n", host.status);
  return o;
}

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

Outcome RunWindowProcess(const fs::path& dir, const std::string& recordsFile,
                         const phonesim::Tq4410Options& options,
                         const phonesim::builders::SampleFirmware& firmware) {
  phonesim::SimulatedTq4410 phone(options);
  fs::create_directories(dir / "settings");
  const HostRun host = bench_support::RunChild(
      dir, "window", "bench_gui_download",
      "--window '" + phone.Path() + "' '" + (dir / "settings").string() + "' '" + recordsFile + "'",
      firmware.Files());
  const std::string line = FirstLine(dir / "window.out");
  Outcome o;
  o.ok = host.status == 0 && bench_support::TextField(line, "text") == kComplete;
  o.seconds = bench_support::NumberField(line, "seconds");
  o.cpuSeconds = bench_support::NumberField(line, "cpu_seconds");
  o.guiCpuSeconds = bench_support::NumberField(line, "gui_cpu_seconds");
  if (o.seconds > 0) {
    o.all.paused = bench_support::NumberField(line, "paused_seconds") / o.seconds;
    o.emmc.paused = bench_support::NumberField(line, "paused_partition") / o.seconds;
    o.modem.paused = bench_support::NumberField(line, "paused_modem_image") / o.seconds;
  }
  Finish(o, phone, firmware);
  if (!o.ok) {
    std::printf("the window FAILED (exit status %d, bar \"%s\")\n", host.status,
                bench_support::TextField(line, "text").c_str());
  }
  return o;
}

std::string SplitText(const Split& s) {
  char text[96];
  std::snprintf(text, sizeof text, "%5.2f %% = pauses %5.2f + host %5.2f", 100 * s.wait,
                100 * s.paused, 100 * s.Host());
  return text;
}

void Print(const char* name, const Outcome& o, uint64_t bytes) {
  const double mib = static_cast<double>(bytes) / (1 << 20);
  std::printf(
      "  %-12s %s  waiting %s  %5.2f s  %4.1f MB/s  CPU %4.2f s = %4.1f ms per MiB"
      "  stores %s\n",
      name, o.ok ? "ok    " : "FAILED", SplitText(o.all).c_str(), o.seconds,
      o.seconds > 0 ? static_cast<double>(bytes) / o.seconds / 1e6 : 0, o.cpuSeconds,
      mib > 0 ? 1000 * o.cpuSeconds / mib : 0, o.storesMatch ? "match" : "DIFFER");
  std::printf("  %-12s        eMMC stream   %s\n", "", SplitText(o.emmc).c_str());
  std::printf("  %-12s        modem images  %s\n", "", SplitText(o.modem).c_str());
}

// The run with the median share; failed runs sort last, so any failure shows when half fail.
Outcome Median(std::vector<Outcome> runs, bool& allOk) {
  for (const Outcome& o : runs) allOk = allOk && o.ok;
  std::sort(runs.begin(), runs.end(), [](const Outcome& a, const Outcome& b) {
    return a.ok != b.ok ? a.ok : a.all.wait < b.all.wait;
  });
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--window") return WindowProcess(argc, argv);
  const Settings s = Parse(argc, argv);
  const fs::path dir = bench_support::MakeDirectory("tarvex-bench-gui-");
  ports::SetPublishDirectory((dir / "tarvex-ports").string());
  fs::create_directories(dir / "firmware");
  const auto firmware = phonesim::builders::SampleFirmware::Write(
      (dir / "firmware").string(), bench_support::FirmwareSizes(s.systemMiB));
  phonesim::Tq4410Options options;
  options.emmcBytesPerSecond = static_cast<uint64_t>(s.rateMBps * 1e6);
  options.keepEmmcData = false;  // the host is measured, not the simulated chip's memory

  const uint64_t bytes = firmware.TotalBytes();
  std::printf("bench_gui_download: one phone, eMMC %.1f MB/s, %.1f MB of firmware\n", s.rateMBps,
              static_cast<double>(bytes) / 1e6);
  // Both front ends as shipped (recording every run, its files hashed) and the same keeping
  // none, alternating, so that the records' cost is a difference within one run of the bench.
  const fs::path recordedCli = bench_support::PortableCli(dir / "recorded", "records.sqlite");
  const fs::path unrecordedCli = bench_support::PortableCli(dir / "unrecorded", records::kNoFile);
  const std::string windowRecords = (dir / "window-records.sqlite").string();
  std::vector<Outcome> cliRuns, windowRuns, bareCliRuns, bareWindowRuns;
  std::vector<bench_support::Floor> floors;
  std::vector<phonesim::Turn> conversation;
  for (int i = 0; i < s.runs; ++i) {
    cliRuns.push_back(
        RunCli(dir, recordedCli, options, firmware, i == 0 ? &conversation : nullptr));
    windowRuns.push_back(RunWindowProcess(dir, windowRecords, options, firmware));
    bareCliRuns.push_back(RunCli(dir, unrecordedCli, options, firmware));
    bareWindowRuns.push_back(RunWindowProcess(dir, records::kNoFile, options, firmware));
    floors.push_back(bench_support::FloorRound(1, options, firmware, conversation));
    std::printf(
        "run %d: waiting for the host: tarvex-cli %.2f %% (%.2f %% keeping no records), window "
        "%.2f %% (%.2f %%), floor %.2f %%%s\n",
        i + 1, 100 * cliRuns.back().all.wait, 100 * bareCliRuns.back().all.wait,
        100 * windowRuns.back().all.wait, 100 * bareWindowRuns.back().all.wait,
        100 * floors.back().mean, floors.back().ok ? "" : " (the floor's replay FAILED)");
  }
  bool cliOk = true, windowOk = true;
  const Outcome cli = Median(cliRuns, cliOk);
  const Outcome window = Median(windowRuns, windowOk);
  const Outcome bareCli = Median(bareCliRuns, cliOk);
  const Outcome bareWindow = Median(bareWindowRuns, windowOk);
  if (!fs::exists(windowRecords) || !fs::exists(recordedCli.parent_path() / "records.sqlite")) {
    std::printf("a recorded front end left no record file: FAILED\n");
    cliOk = false;
  }
  std::printf("median of %d runs:\n", s.runs);
  Print("tarvex-cli", cli, bytes);
  Print("window", window, bytes);
  Print("cli, none", bareCli, bytes);
  Print("window, none", bareWindow, bytes);
  const double wall = window.seconds > 0 ? window.seconds : 1;
  const bench_support::Floor floor = bench_support::MedianFloor(floors);
  std::printf(
      "floor (a minimal writer, no plug-in, no reporting, no pauses): the phone waits %.2f %% of "
      "its run (eMMC stream %.2f, modem images %.2f)%s\n",
      100 * floor.mean, 100 * floor.In("emmc"), 100 * floor.In("modem"),
      floor.ok ? "" : " (its replay FAILED)");
  // What a technician sees: the same set into a phone whose eMMC writes at a real phone's pace.
  phonesim::Tq4410Options paced = options;
  paced.emmcBytesPerSecond = kRealPaceBytesPerS;
  const Outcome realCli = RunCli(dir, recordedCli, paced, firmware);
  const Outcome realWindow = RunWindowProcess(dir, windowRecords, paced, firmware);
  cliOk = cliOk && realCli.ok;
  windowOk = windowOk && realWindow.ok;
  Print("cli, 4 MB/s", realCli, bytes);
  Print("window, 4 MB/s", realWindow, bytes);
  std::printf("GUI thread busy %.2f s of the window's %.2f s = %.1f %%\n", window.guiCpuSeconds,
              window.seconds, 100 * window.guiCpuSeconds / wall);
  // The host's own part of the phone's wait. At 40 MB/s the link's floor alone is above 1 % of
  // the run on a 2-core machine, so there each front end is judged above the floor (the whole
  // run and each step kind); at a real phone's pace, where the floor is small, as it stands.
  bool met = cliOk && windowOk;
  for (const auto& [name, o] : {std::pair<const char*, const Outcome&>{"tarvex-cli", cli},
                                std::pair<const char*, const Outcome&>{"window", window}}) {
    const double above = o.all.Host() - floor.mean;
    const double emmc = o.emmc.Host() - floor.In("emmc");
    const double modem = o.modem.Host() - floor.In("modem");
    const bool pass = above <= kHostShare && emmc <= kKindPoints && modem <= kKindPoints;
    std::printf(
        "%s at %.0f MB/s: host overhead %.2f %% of the run, %+.2f points above the floor, eMMC "
        "stream %+.2f and modem images %+.2f above theirs (target <= %.0f each): %s\n",
        name, s.rateMBps, 100 * o.all.Host(), 100 * above, 100 * emmc, 100 * modem,
        100 * kHostShare, pass ? "PASS" : "FAIL");
    met = met && pass;
  }
  for (const auto& [name, o] : {std::pair<const char*, const Outcome&>{"tarvex-cli", realCli},
                                std::pair<const char*, const Outcome&>{"window", realWindow}}) {
    const bool host = o.all.Host() <= kHostShare;
    const bool kinds = o.emmc.Host() <= kKindPoints && o.modem.Host() <= kKindPoints;
    std::printf(
        "%s at 4 MB/s: host overhead %.2f %% of the run (target <= %.0f %%): %s; eMMC stream %.2f "
        "and modem images %.2f points above their pauses (target <= %.0f): %s\n",
        name, 100 * o.all.Host(), 100 * kHostShare, host ? "PASS" : "FAIL", 100 * o.emmc.Host(),
        100 * o.modem.Host(), 100 * kKindPoints, kinds ? "PASS" : "FAIL");
    met = met && host && kinds;
  }
  const double cliCost = cli.all.wait - bareCli.all.wait;
  const double windowCost = window.all.wait - bareWindow.all.wait;
  const bool cheap = cliCost <= kRecordsCost && windowCost <= kRecordsCost;
  std::printf(
      "records' cost to the phone's share: tarvex-cli %+.2f points, window %+.2f points "
      "(target <= %.0f): %s\n",
      100 * cliCost, 100 * windowCost, 100 * kRecordsCost, cheap ? "PASS" : "FAIL");
  ports::SetPublishDirectory("");
  std::error_code ec;
  if (cliOk && windowOk) {
    fs::remove_all(dir, ec);
  } else {
    std::printf("the runs' files are kept in %s\n", dir.c_str());
  }
  return cliOk && met && cheap && floor.ok ? 0 : 1;
}
