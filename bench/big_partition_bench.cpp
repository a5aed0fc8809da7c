// bench_big_partition: a normal download of a 1 GiB partition the way tarvex-cli runs one — the
// file table types the files with the plug-in's exports, the image store loads only what the
// plug-in reads from memory (the configuration) and leaves the partition on disk, model.so's
// DoDownload (bound by name) streams it from its path into a simulated phone on a
// pseudo-terminal.
//
// Reports the process's peak resident memory after a 16 MiB partition and after the 1 GiB one:
// flat in the partition's size. The simulated eMMC discards what it receives and the agent keeps
// no copy, so the phone, which runs in this process, adds nothing that grows with the partition:
// the growth is the host's (store, plug-in, link). The partition files are sparse.
// Also the 1 GiB run's split: the phone's wait for the host as a share of the run, the
// sequence's own pauses (counted on this thread, where the plug-in runs) and the rest.
// Exits 1 when a download fails or the store refuses a file.

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/clock.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/process.h"
#include "corvane/platform/shared_library.h"
#include "corvane/plugin/exports.h"
#include "host/file_table.h"
#include "host/image_store.h"
#include "sim/model_phone.h"
#include "sim/omap_agent.h"
#include "sim/phone.h"
#include "sim/phone_control_model.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kMiB = 1 << 20;

// Keeps the last status line and whether the plug-in reported a failure.
class Window : public platform::MessageTarget {
 public:
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    if (message != notify::kMsgNotify) return 0;
    if (wParam == notify::kStatusText) last = reinterpret_cast<const char*>(lParam);
    if (wParam == notify::kProgress && lParam == notify::kProgressFailed) failed = true;
    return 0;
  }
  std::string last;
  bool failed = false;
};

struct Plugin {
  std::unique_ptr<platform::SharedLibrary> library;
  DoDownloadFn download = nullptr;
  FileTyping typing;
};

bool LoadPlugin(Plugin& p) {
  std::string error;
  p.library = platform::SharedLibrary::Load(platform::ExecutableDirectory() + "/model.so", &error);
  if (!p.library) {
    std::printf("cannot load model.so: %s\n", error.c_str());
    return false;
  }
  p.download = p.library->Bind<DoDownloadFn>("DoDownload");
  const auto judge = p.library->Bind<JudgeFileFn>("JudgeFile");
  const auto type = p.library->Bind<GetFileTypeStrFn>("GetFileTypeStr");
  const auto order = p.library->Bind<FileDLOrderFn>("FileDLOrder");
  if (!p.download || !judge || !type || !order) return false;
  p.typing = {[judge](const std::string& s) { return judge(&s); },
              [type](const std::string& s) { return std::string(type(&s)); },
              [order](const std::string& s) { return order(&s); }};
  return true;
}

struct Result {
  bool ok = false;
  double seconds = 0;
  double waited = 0;  // the phone's wait for the host, seconds
  double paused = 0;  // of which the sequence's own pauses (the plug-in runs on this thread)
  std::string why;
};

Result Download(const Plugin& plugin, const std::filesystem::path& dir, uint64_t bytes) {
  const std::string config = (dir / "partition.cfg").string();
  const std::string image = (dir / "system.img").string();
  {
    std::ofstream(config) << "[device]\nTotal_size=0x3A6065\n[partition]\nname=system\nsize=0x"
                          << std::hex << bytes << "\nfilename=system.img\n";
    std::ofstream(image).close();
    std::filesystem::resize_file(image, bytes);
  }
  FileTable table(plugin.typing);
  table.AddFile(config);
  table.AddFile(image);
  const std::vector<std::string> paths = table.CheckedPaths();
  CImageStore store;
  Result r;
  if (store.ReadImages(paths, table.CheckedLoads()) != 1 || !store.Problems().empty()) {
    r.why = DescribeProblem(store.Problems().front());
    return r;
  }

  auto model = std::make_unique<phonesim::ModelPhone>();
  auto& agent = model->Add(std::make_unique<phonesim::OmapAgent>());
  agent.KeepPartitionData(false);
  agent.Emmc().SetDiscard(true);
  model->Add(std::make_unique<phonesim::PhoneControlModel>("TQ4410", std::array<uint8_t, 64>{}));
  phonesim::Phone phone(std::move(model));
  Window window;
  std::vector<uint8_t*> images = store.Images(paths.size());
  const auto t0 = Clock::now();
  const uint64_t paused0 = platform::PausedUs();
  const int result = plugin.download(&window, phone.PortNumber(), images.data(),
                                     static_cast<int>(images.size()), &paths, 10000, 0);
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  r.paused = static_cast<double>(platform::PausedUs() - paused0) / 1e6;
  r.waited = static_cast<double>(phone.Stats().waitingForHostUs) / 1e6;
  phone.WithPersonality([&](phonesim::Personality&) {
    r.ok = result == 1 && !window.failed && agent.Partitions().size() == 1 &&
           agent.Partitions()[0].received >= bytes;
  });
  if (!r.ok) r.why = window.last;
  phone.Stop();
  return r;
}

}  // namespace

int main() {
  Plugin plugin;
  if (!LoadPlugin(plugin)) return 1;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tarvex-bench-big-" + std::to_string(platform::ProcessId()));
  std::filesystem::create_directories(dir);
  const uint64_t small = 16 * kMiB, large = 1024 * kMiB;
  const Result s = Download(plugin, dir, small);
  const uint64_t peakSmall = platform::PeakResidentBytes();
  const Result l = Download(plugin, dir, large);
  const uint64_t peakLarge = platform::PeakResidentBytes();
  std::filesystem::remove_all(dir);
  if (!s.ok || !l.ok) {
    std::printf("a download failed (16 MiB: %s; 1 GiB: %s)\n", s.ok ? "ok" : s.why.c_str(),
                l.ok ? "ok" : l.why.c_str());
    return 1;
  }
  const double growth = (static_cast<double>(peakLarge) - static_cast<double>(peakSmall)) / kMiB;
  std::printf("16 MiB partition: %.1f s, peak resident %.1f MiB\n", s.seconds,
              static_cast<double>(peakSmall) / kMiB);
  std::printf("1 GiB partition: %.1f s (%.1f MB/s), peak resident %.1f MiB\n", l.seconds,
              static_cast<double>(large) / l.seconds / 1e6, static_cast<double>(peakLarge) / kMiB);
  std::printf(
      "1 GiB partition: the phone waits %.2f %% of the run = pauses %.2f + host %.2f (the eMMC "
      "stream, at the link's own pace)\n",
      100 * l.waited / l.seconds, 100 * l.paused / l.seconds,
      100 * (l.waited - l.paused) / l.seconds);
  std::printf("growth of the peak from 16 MiB to 1 GiB: %.1f MiB (target < 16 MiB): %s\n", growth,
              growth < 16 ? "PASS" : "ABOVE TARGET");
  return 0;
}
