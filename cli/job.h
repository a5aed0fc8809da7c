#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "cli/options.h"
#include "cli/plugin.h"
#include "corvane/platform/cancellation.h"
#include "corvane/ports/serial_port_entry.h"

// What runs on each phone: one entry point of the plug-in with its arguments, the same for every
// phone of a multi run. Each call builds a module of its own in the plug-in, so calls on
// different ports may run at the same time; the image buffers are shared and only read.
namespace cli {

class RunRecords;

struct Job {
  Command command = Command::kNone;
  uint32_t options = 0;  // erase bits
  // download: the paths in the file table's order and their images (same order)
  std::vector<std::string> paths;
  std::vector<uint8_t*> images;
  // factory: the two files; mdm: the modem image (may be empty) and the AP image
  std::string cpPath;
  std::string apPath;
  std::string mdmPath;
  // upload
  std::string outPath;
  uint32_t sectors = 0;
  uint32_t address = 0;

  uint64_t totalBytes = 0;  // what a run writes (or reads back)
  bool allowUnused = false;
  const RunRecords* records = nullptr;  // where each phone's run leaves its record (null: nowhere)

  // The user's files as the entry point receives them, by the index its step notices use;
  // an empty entry is no file. An upload writes no file into the phone: none.
  std::vector<std::string> PhoneFiles() const;
};

// The plug-in's entry points as a command calls them.
class Exports {
 public:
  // Null, with the plug-in's "lacks" message in `lacking`, when it lacks an export the command
  // needs.
  static std::optional<Exports> For(const Plugin& plugin, Command command, std::string& lacking);

  // Calls the command's entry point for `port`, reporting to `window`.
  int Run(const Job& job, platform::WindowHandle window, uint8_t port) const;

  // The plug-in's pre-flight of the job's files; kNoCheck for a command that writes no file
  // into a phone.
  FileCheck CheckFiles(const Job& job) const;

  // Whether the plug-in promises a step notice for every step it takes.
  bool ReportsSteps() const { return plugin_->Exports().reportsSteps; }

 private:
  explicit Exports(const Plugin& plugin) : plugin_(&plugin) {}
  const Plugin* plugin_;
};

class PhoneWindow;

// One phone's whole run on a thread of its own: its window and bar, the entry point, the result
// line. Cancel closes the window, which cancels the run's link and pauses; the run then ends
// through its failure path on its own thread, which closes its own port (a descriptor is never
// closed under a thread that may be using it: its number could already be another phone's). The
// window, and the plug-in whose code the thread runs, stay until the thread has been joined.
class PhoneWorker {
 public:
  PhoneWorker(const Exports& exports, const Job& job, const PhoneLabel& phone, Console& console);
  ~PhoneWorker();  // joins
  PhoneWorker(const PhoneWorker&) = delete;
  PhoneWorker& operator=(const PhoneWorker&) = delete;

  const PhoneLabel& Label() const { return label_; }
  bool Done() const { return done_.load(std::memory_order_acquire); }
  // Any thread; `reason` as for platform::Cancellation.
  void Cancel(int reason);
  // Waits for the run to end.
  PhoneResult Join();

 private:
  const PhoneLabel label_;
  std::unique_ptr<PhoneWindow> window_;
  std::atomic<bool> done_{false};
  PhoneResult result_;
  std::thread thread_;  // last: started once everything it uses is there
};

// Runs `worker` to its end; cancels it as soon as `interrupt` is (null: never).
PhoneResult RunToEnd(PhoneWorker& worker, const platform::Cancellation* interrupt);

PhoneLabel LabelOf(const SerialPortEntry& entry);

}  // namespace cli
