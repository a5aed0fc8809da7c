// phonesim: a simulated phone on a pseudo-terminal, for trying the tools by hand: a boot loader
// that acknowledges every command, or (--tq4410) a whole TQ4410 that keeps what a download wrote
// and compares it with its sample firmware set when it is told to end.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "corvane/platform/cancellation.h"
#include "corvane/platform/interrupts.h"
#include "corvane/platform/path.h"
#include "sim/generic_boot_loader.h"
#include "sim/memory_reader.h"
#include "sim/model_phone.h"
#include "sim/phone.h"
#include "sim/phonesim_options.h"
#include "sim/tq4410_phones.h"

namespace {

constexpr int kExitDiffers = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotStarted = 3;

std::atomic<bool> g_quit{false};

void OnSignal(int) { g_quit = true; }

std::unique_ptr<phonesim::Personality> BootLoader(bool memory) {
  if (!memory) return std::make_unique<phonesim::GenericBootLoader>();
  auto model = std::make_unique<phonesim::ModelPhone>();
  model->Add(std::make_unique<phonesim::MemoryReader>());
  return model;
}

int RunBootLoader(bool memory) {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    phonesim::Phone phone(BootLoader(memory));
    std::printf("phonesim: boot loader listening on %s\n", phone.Path().c_str());
    std::fflush(stdout);
    while (!g_quit && !phone.Vanished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const phonesim::PhoneStats stats = phone.Stats();
    std::printf("phonesim: %llu requests, %llu bytes in, %llu bytes out\n",
                static_cast<unsigned long long>(stats.requests),
                static_cast<unsigned long long>(stats.bytesIn),
                static_cast<unsigned long long>(stats.bytesOut));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

// The set goes where the user said, and stays there; it never lands among files of the user's
// own, which a file of the set could replace. "" when `directory` is ready, else why not.
std::string PrepareSampleDirectory(const std::string& directory, std::string& absolute) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path = fs::absolute(platform::PathOf(directory), ec).lexically_normal();
  if (ec) return directory + ": " + ec.message();
  if (fs::exists(path, ec)) {
    if (!fs::is_directory(path, ec)) return directory + " is not a directory";
    const bool empty = fs::is_empty(path, ec);
    if (ec) return directory + ": " + ec.message();
    if (!empty) return directory + " is not empty: the sample set needs a new or empty directory";
  } else if (fs::create_directories(path, ec); ec) {
    return "cannot make " + directory + ": " + ec.message();
  }
  absolute = platform::Utf8Of(path);
  return "";
}

std::string Announced(const phonesim::PhonesimOptions& o) {
  if (!o.description.empty()) return o.description;
  return o.mdm ? phonesim::QualcommHandset::Options{}.diagPort.description
               : phonesim::Tq4410Identity().description;
}

void ShowAttached(phonesim::Tq4410Phones& phones, const phonesim::PhonesimOptions& o) {
  std::printf("Sample firmware written to %s\n", phones.Directory().c_str());
  for (const std::string& path : phones.DevicePaths()) {
    std::printf("Simulated TQ4410 attached on %s\n", path.c_str());
  }
  if (o.mdm) {
    std::printf("That is its modem's diagnostic port: the download moves the phone to new ones.\n");
  }
  std::printf(
      "It announces itself as \"%s\"; Ctrl-C or SIGTERM ends it with the byte-for-byte "
      "check.\n",
      Announced(o).c_str());
  std::fflush(stdout);
}

// The verdict of each phone, and whether every one holds the set.
bool ShowChecks(const std::vector<simulation::SimulatedCheck>& checks, bool mdm) {
  bool ok = !checks.empty();
  for (const simulation::SimulatedCheck& c : checks) {
    const std::string where = mdm ? "" : " on " + c.path;
    std::printf("\nByte-for-byte check of the simulated phone%s:\n", where.c_str());
    for (const std::string& line : c.lines) std::printf("  %s\n", line.c_str());
    std::printf("%s\n", c.verdict.c_str());
    ok = ok && c.ok;
  }
  std::fflush(stdout);
  return ok;
}

int ServeTq4410(const phonesim::PhonesimOptions& o, const std::string& directory,
                const platform::Cancellation& interrupted) {
  phonesim::Tq4410PhonesOptions options;
  options.firmware = o.mdm ? simulation::Firmware::kMdm : simulation::Firmware::kDownload;
  // Announced where every program of the user looks: the host is started separately.
  options.privateAnnouncements = false;
  options.description = o.description;
  options.usb = {o.usbPath, o.usbSerial};
  phonesim::Tq4410Phones phones(options);
  std::string error = phones.AnnouncementRefusal();
  if (error.empty()) phones.Attach(error);
  if (!error.empty()) {
    std::fprintf(stderr, "phonesim: %s\n", error.c_str());
    return kExitNotStarted;
  }
  phones.WriteSample(directory, false);
  ShowAttached(phones, o);
  while (!interrupted.WaitRealMs(60000)) {
  }
  return ShowChecks(phones.Verify(), o.mdm) ? 0 : kExitDiffers;
}

int RunTq4410(const phonesim::PhonesimOptions& o) {
  std::string directory;
  if (const std::string why = PrepareSampleDirectory(o.sample, directory); !why.empty()) {
    std::fprintf(stderr, "phonesim: %s\n", why.c_str());
    return kExitNotStarted;
  }
  platform::Cancellation interrupted;
  platform::RouteInterruptsTo(&interrupted);
  int status = kExitNotStarted;
  try {
    status = ServeTq4410(o, directory, interrupted);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "phonesim: %s\n", e.what());
  }
  platform::RouteInterruptsTo(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const phonesim::PhonesimOptions o =
      phonesim::ParsePhonesimArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (o.help) {
    std::fputs(phonesim::PhonesimUsage().c_str(), stdout);
    return 0;
  }
  if (!o.error.empty()) {
    std::fprintf(stderr, "phonesim: %s\nTry 'phonesim --help'.\n", o.error.c_str());
    return kExitUsage;
  }
  return o.tq4410 ? RunTq4410(o) : RunBootLoader(o.memory);
}
