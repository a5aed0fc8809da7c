#pragma once

#include <QDBusUnixFileDescriptor>

namespace gui {

// The program's sleep inhibition backend: logind's "block" inhibitor on the system bus, held as
// long as logind's descriptor stays open. Without a system bus or logind (containers, CI) runs
// go on as before, told once on standard error.
class SleepInhibitor {
 public:
  // Makes the inhibitor the backend of every sleep_inhibition::Hold for the program's life.
  static void Install();

  void Inhibit(bool inhibit);

 private:
  void Warn(const QString& why);

  QDBusUnixFileDescriptor lock_;
  bool warned_ = false;
};

}  // namespace gui
