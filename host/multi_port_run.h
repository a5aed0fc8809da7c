#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/mailbox_target.h"
#include "host/download_arguments.h"
#include "host/message_box_relay.h"
#include "host/normal_page.h"
#include "host/port_scan.h"
#include "host/rom_copy_page.h"
#include "host/sleep_inhibition.h"
#include "plugin/exports.h"

// What the multi-port window shows; the Qt window implements it, tests record it. GUI thread.
class MultiPortView {
 public:
  virtual ~MultiPortView() = default;
  // Column `slot` of the status table: "PORT X"/"Ready...", "PORT (%d)"/"Progress", "Pass"...
  virtual void ShowColumn(int slot, const std::string& top, const std::string& bottom) = 0;
  virtual void PlaySound(bool success) = 0;
  // The window in which the plug-in creates its status windows (a QWidget*).
  virtual void* PanelParent() = 0;
};

// The multi-port window's logic. It runs no download itself: once a second it lists the phone
// ports, gives the first new one the first free of eight panels and asks the plug-in to open its
// status window there; that window runs the port on a worker of its own and reports its result
// (1011) and the user's "Window Close" (1010) to this window's mailbox.
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

  MultiPortRun(MultiPortView& view, NormalPage& normal, const RomCopyPage& romCopy,
               PortScan::Discover discover);
  // Closes every status window (their runs cancelled and waited for).
  ~MultiPortRun();
  MultiPortRun(const MultiPortRun&) = delete;
  MultiPortRun& operator=(const MultiPortRun&) = delete;

  // The table's first texts and the plug-in's entry points for the page that opened the window
  // (g_nCurPage). False, after saying why, when the plug-in lacks them: then ticks do nothing.
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

 private:
  struct Slot {
    bool busy = false;
    bool running = false;
    uint8_t port = kNoPort;
    void* window = nullptr;  // the plug-in's status window
  };

  platform::LRESULT Handle(uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam);
  bool ImagesReady();
  std::optional<uint8_t> NewPort() const;
  void StartPort(size_t slot, uint8_t port);
  Slot* SlotOfPort(platform::LPARAM port);
  void Refuse(const std::string& why);
  // The system stays awake while any port runs.
  void HoldAwake();

  MultiPortView& view_;
  NormalPage& normal_;
  const RomCopyPage& romCopy_;
  PortScan::Discover discover_;
  std::shared_ptr<platform::MailboxTarget> mailbox_;
  std::unique_ptr<MessageBoxRelay> relay_;
  std::optional<sleep_inhibition::Hold> awake_;
  std::array<Slot, kSlots> slots_{};
  std::vector<SerialPortEntry> ports_;
  int mode_ = 1;
  bool refused_ = false;
  bool imagesTaken_ = false;
  // What every port's window is handed; it lives as long as the windows.
  DownloadArguments arguments_;
  std::string cpPath_, apPath_;
  uint32_t eraseOption_ = 0;
  A111Fn a111_ = nullptr;
  void (*table_[kStatusSlots])() = {};
};
