#include "host/sheet.h"

int g_nCurPage = 1;

Sheet::Sheet(NormalPage& normal, RomCopyPage& romCopy) : normal_(normal), romCopy_(romCopy) {}

void Sheet::Activate(int tab) {
  if (active_ == 1 && tab != 1) romCopy_.Leave();
  active_ = tab;
  if (tab == 0) return normal_.Activate();
  if (!romCopyStarted_) {
    romCopy_.PageStart();
    romCopyStarted_ = true;
  }
  romCopy_.Activate();
}

// The Normal D/L page keeps the sheet open when it is the active tab, so the ROM copy page is
// reset only from its own tab.
void Sheet::Initialization() {
  if (active_ == 1) romCopy_.Leave();
  if (normal_.Reset()) return;
  if (romCopyStarted_) romCopy_.Reset();
}
