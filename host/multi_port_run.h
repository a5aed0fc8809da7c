#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/run_outcome.h"
#include "corvane/platform/step_log.h"
#include "corvane/plugin/exports.h"
#include "host/message_box_relay.h"
#include "host/port_scan.h"
#include "host/records/run_ledger.h"
#include "host/run_request.h"
#include "host/sleep_inhibition.h"

// What the multi-port window shows; the Qt window implements it, tests record it. GUI thread.
class MultiPortView {
 public:
  virtual ~MultiPortView() = default;
  // Column `slot` of the status table: "PORT X"/"Ready...", "PORT (%d)"/"Progress", "Pass"...
  virtual void ShowColumn(int slot, const std::string& top, const std::string& bottom) = 0;
  // Why the run in column `slot` failed, as its status window decided ("" when it passed).
  virtual void ShowReason(int slot, const std::string& reason) = 0;
  virtual void PlaySound(bool success) = 0;
  // A line about the ports beside the table ("COM3 (ttyACM0) is held by another program: ...").
  virtual void ShowNote(const std::string& text) = 0;
  // The window in which the plug-in creates its status windows (a QWidget*).
  virtual void* PanelParent() = 0;
};

// The multi-port window's logic. It runs no download itself: once a second it lists the phone
// ports, gives the first new one the first free of eight panels and asks the plug-in to open its
// status window there; that window runs the port on a worker of its own and reports its result
// and its outcome (1011, 1012) and the user's "Window Close" (1010) to this window's mailbox.
class MultiPortRun {
 public:
  static constexpr int kSlots = 8;
  static constexpr int kTickMs = 1000;
  static constexpr uint8_t kNoPort = 0xFF;
  struct Rect {
    int left, top, width, height;
  };
  // Five panels of 121 x 149 in the first row, three in the second.
  static Rect Panel(int slot);

  MultiPortRun(MultiPortView& view, RunRequest request, PortScan::Discover discover);
  // Closes every status window (their runs cancelled and waited for).
  ~MultiPortRun();
  MultiPortRun(const MultiPortRun&) = delete;
  MultiPortRun& operator=(const MultiPortRun&) = delete;

  // The table's first texts, the plug-in's entry points for the request's page and the
  // plug-in's pre-flight of its files, before any port. False, after saying why in a message
  // box, when the request cannot run: then ticks do nothing.
  bool Start();
  // One tick of the window's timer: at most one new port started.
  void Tick();
  // Whether a port's run has started and not yet reported its result.
  bool AnyRunning() const;
  // Closes the mailbox (a worker's report returns at once), then every status window.
  void CloseAll();

  platform::MailboxTarget& Mailbox() { return *mailbox_; }
  uint8_t SlotPort(int slot) const { return slots_[static_cast<size_t>(slot)].port; }
  bool SlotBusy(int slot) const { return slots_[static_cast<size_t>(slot)].busy; }
  // The reason of the slot's last failed run ("" none).
  const std::string& SlotReason(int slot) const { return slots_[static_cast<size_t>(slot)].reason; }
  // The step record of the port's last run as its status window handed it over (1012), kept
  // after the window has gone; null before any (or from a plug-in that sends none: empty).
  const notify::StepHistory* PortSteps(uint8_t port) const;

 private:
  struct Slot {
    bool busy = false;
    bool running = false;
    uint8_t port = kNoPort;
    void* window = nullptr;  // the plug-in's status window
    std::string reason;      // why its run failed, as the status window said
  };

  platform::LRESULT Handle(uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam);
  bool ImagesReady();
  std::optional<uint8_t> NewPort();
  // Whether another program has the port open, said once while it stays listed.
  bool HeldByAnotherProgram(const SerialPortEntry& entry);
  void StartPort(size_t slot, uint8_t port);
  Slot* SlotOfPort(platform::LPARAM port);
  void Refuse(const std::string& why);
  // What keeps the request from running: the plug-in's exports, its pre-flight ("" none).
  std::string Refusal() const;
  // The system stays awake while any port runs.
  void HoldAwake();
  // What the port's status window handed over (1012): its reason, step record and verdict, and
  // the phone's factory data for its record.
  void Keep(Slot& s, const notify::RunOutcome& outcome);
  // The port's record ends: with its status window's outcome, or as cancelled without one.
  void Record(uint8_t port, int result);

  MultiPortView& view_;
  // Lives as long as the status windows: they read its files and images.
  const RunRequest request_;
  PortScan::Discover discover_;
  std::shared_ptr<platform::MailboxTarget> mailbox_;
  std::unique_ptr<MessageBoxRelay> relay_;
  std::optional<sleep_inhibition::Hold> awake_;
  std::array<Slot, kSlots> slots_{};
  std::map<uint8_t, notify::StepHistory> steps_;  // by port
  // Each running port's record, and the outcome its status window handed over (1012).
  std::map<uint8_t, records::RunLedger> ledgers_;
  records::RunStart recordStart_;  // what each port's record starts from, its images hashed once
  std::map<uint8_t, notify::Judgement> outcomes_;
  std::vector<SerialPortEntry> ports_;
  std::set<uint8_t> heldSaid_;  // ports held by another program, and said so
  bool refused_ = false;
  bool imagesTaken_ = false;
  // What every port's window is handed (normal mode); it lives as long as the windows.
  std::vector<uint8_t*> images_;
  StatusWindowTable table_;
};
