#pragma once

#include "host/normal_page.h"
#include "host/rom_copy_page.h"

// The main sheet's logic: two tabs, "Normal D/L" (0) and "ROM copy D/L" (1), and its
// "Initialization" button, which resets the pages in tab order up to the active one and never
// closes the sheet. "Exit" and the close box just end it (the Normal D/L page then keeps the
// settings).
class Sheet {
 public:
  Sheet(NormalPage& normal, RomCopyPage& romCopy);

  // A tab becomes active; the ROM copy page starts when it is first shown.
  void Activate(int tab);
  void Initialization();
  int ActiveTab() const { return active_; }

 private:
  NormalPage& normal_;
  RomCopyPage& romCopy_;
  bool romCopyStarted_ = false;
  int active_ = -1;
};
