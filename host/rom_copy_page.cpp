#include "host/rom_copy_page.h"

RomCopyPage::RomCopyPage(RomCopyPageView& view, PortScan::Discover discover, PluginSource plugin)
    : view_(view), scan_(std::move(discover)), plugin_(std::move(plugin)) {}

void RomCopyPage::PageStart() {
  mode_ = 0;
  view_.EnableStart(false);
  scan_.ResetSeen();
  eraseOption_ = 0;
  FillControls();
  view_.SetScanTimer(true);
}

void RomCopyPage::ChooseCp(const std::optional<std::string>& chosen) {
  if (!chosen) return;
  cpPath_ = *chosen;
  view_.ShowPaths(cpPath_, view_.ApField());
}

void RomCopyPage::ChooseAp(const std::optional<std::string>& chosen) {
  if (!chosen) return;
  apPath_ = *chosen;
  view_.ShowPaths(view_.CpField(), apPath_);
}

void RomCopyPage::ModeClicked(int mode) {
  ReadControls();
  mode_ = mode == 1 ? 1 : 0;
  view_.EnableStart(mode_ == 1);
  view_.SetScanTimer(mode_ == 0);  // the scan count is kept: a phone seen long enough is ready
}

void RomCopyPage::EraseCpClicked(bool checked) { eraseOption_ = checked ? kEraseCp : 0; }

void RomCopyPage::ScanTimer() {
  if (mode_ == 1) return;
  const PortScan::Result result = scan_.Scan();
  view_.ShowPorts(result);
  if (result.start) {
    ReadControls();
    view_.EnableStart(*result.start);
  }
}

// The fields are read first: a path typed just before Start is the one the run gets.
void RomCopyPage::Start() {
  ReadControls();
  const RunRequest request = Request();
  scan_.ResetSeen();
  if (mode_ != 1) g_nCurPage = 2;
  view_.SetScanTimer(false);
  view_.RunDownloadWindow(request);
  view_.SetScanTimer(true);
}

RunRequest RomCopyPage::Request() const {
  RunRequest r;
  r.mode = RunRequest::Mode::kRomCopy;
  r.multi = mode_ == 1;
  r.plugin = plugin_ ? plugin_() : nullptr;
  r.port = scan_.ComPort();
  r.erase = eraseOption_;
  r.cpPath = cpPath_;
  r.apPath = apPath_;
  return r;
}

void RomCopyPage::Activate() {
  g_nCurPage = 2;
  if (activated_) FillControls();
  activated_ = true;
}

void RomCopyPage::Leave() { ReadControls(); }

bool RomCopyPage::Reset() {
  cpPath_.clear();
  apPath_.clear();
  eraseOption_ = 0;
  FillControls();
  return true;
}

void RomCopyPage::ReadControls() {
  cpPath_ = view_.CpField();
  apPath_ = view_.ApField();
}

void RomCopyPage::FillControls() {
  view_.ShowPaths(cpPath_, apPath_);
  view_.ShowEraseCp(eraseOption_ != 0);
  view_.ShowMode(mode_);
}
