#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "host/current_page.h"
#include "host/port_scan.h"
#include "host/run_request.h"

// What the ROM copy D/L page needs from its window (GUI thread only).
class RomCopyPageView {
 public:
  virtual ~RomCopyPageView() = default;
  // The texts of the "CP bin:" and "AP bin:" fields as they stand (the user may type in them).
  virtual std::string CpField() const = 0;
  virtual std::string ApField() const = 0;
  virtual void ShowPaths(const std::string& cp, const std::string& ap) = 0;
  virtual void ShowPorts(const PortScan::Result& scan) = 0;
  virtual void EnableStart(bool enabled) = 0;
  virtual void ShowMode(int mode) = 0;
  virtual void ShowEraseCp(bool checked) = 0;
  virtual void SetScanTimer(bool running) = 0;
  // Hides the sheet, runs the request's window (single or multi-port) modally and shows the
  // sheet again.
  virtual void RunDownloadWindow(const RunRequest& request) = 0;
};

// The ROM copy page's logic: two whole images, the port, one erase option and the mode.
// "Multi download mode" enables Start at once and stops the scan (the multi-port window finds
// its phones itself); back in "Normal mode" Start waits for the scan again.
class RomCopyPage {
 public:
  // The model plug-in, which the Normal D/L page loads.
  using PluginSource = std::function<const ModelPlugin*()>;

  RomCopyPage(RomCopyPageView& view, PortScan::Discover discover, PluginSource plugin);

  void PageStart();
  void ChooseCp(const std::optional<std::string>& chosen);
  void ChooseAp(const std::optional<std::string>& chosen);
  void ModeClicked(int mode);  // 0 "Normal mode", 1 "Multi download mode"
  void EraseCpClicked(bool checked);
  void ScanTimer();
  void Start();
  void Activate();
  void Leave();  // the tab is left: the fields' texts become the paths
  // The sheet's "Initialization": always keeps the sheet open.
  bool Reset();

  const std::string& CpPath() const { return cpPath_; }
  const std::string& ApPath() const { return apPath_; }
  uint32_t EraseOption() const { return eraseOption_; }
  uint8_t ComPort() const { return scan_.ComPort(); }
  int Mode() const { return mode_; }
  // What Start hands the window: the two images, the plug-in, the port and the erase option.
  RunRequest Request() const;

 private:
  void ReadControls();
  void FillControls();

  RomCopyPageView& view_;
  PortScan scan_;
  PluginSource plugin_;
  std::string cpPath_, apPath_;
  uint32_t eraseOption_ = 0;
  int mode_ = 0;
  bool activated_ = false;
};
