#pragma once

#include <QDialog>

#include "host/port_diagnosis.h"

class QTreeWidget;
class QPlainTextEdit;

namespace gui {

// The program's own view of the serial ports (the device manager button): every port with its
// description and USB ids, whether the phone filter takes it and why not, whether this user may
// open it, which other process holds it open, what the modem manager does with it, the
// usb-descriptions.txt line that would make a refused USB port a phone port, and the command
// that fixes each problem.
class PortView : public QDialog {
  Q_OBJECT

 public:
  explicit PortView(diagnosis::System system, QWidget* parent = nullptr);

  void Refresh();

 private:
  diagnosis::System system_;
  QTreeWidget* ports_ = nullptr;
  QPlainTextEdit* problems_ = nullptr;
};

}  // namespace gui
