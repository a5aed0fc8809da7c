#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/current_page.h"
#include "host/port_scan.h"

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
  // Hides the sheet, runs the window modally and shows the sheet again.
  virtual void RunDownloadWindow(DownloadWindow window) = 0;
};

// The ROM copy page's logic: two whole images, the port, one erase option and the mode.
// "Multi download mode" enables Start at once and stops the scan (the multi-port window finds
// its phones itself); back in "Normal mode" Start waits for the scan again.
class RomCopyPage {
 public:
  static constexpr uint32_t kEraseCp = 2;

  RomCopyPage(RomCopyPageView& view, PortScan::Discover discover);

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

 private:
  void ReadControls();
  void FillControls();

  RomCopyPageView& view_;
  PortScan scan_;
  std::string cpPath_, apPath_;
  uint32_t eraseOption_ = 0;
  int mode_ = 0;
  bool activated_ = false;
};
