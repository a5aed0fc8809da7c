#include "host/rom_copy_page.h"

RomCopyPage::RomCopyPage(RomCopyPageView& view, PortScan::Discover discover)
    : view_(view), scan_(std::move(discover)) {}

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
  scan_.ResetSeen();
  if (mode_ != 1) g_nCurPage = 2;
  view_.SetScanTimer(false);
  view_.RunDownloadWindow(mode_ == 1 ? DownloadWindow::kMulti : DownloadWindow::kSingle);
  view_.SetScanTimer(true);
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
