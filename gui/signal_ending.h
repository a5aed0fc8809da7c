#pragma once

#include <QObject>
#include <memory>

#include "corvane/platform/cancellation.h"

class QSocketNotifier;

namespace gui {

// Ctrl-C, SIGTERM and SIGHUP end the program the way its Exit does, not half-way through a flash:
// the request reaches the GUI thread, which closes every window (each cancels its run and waits
// for its worker, answering Yes to its own "stop it?" question) and leaves the event loop; the
// program then saves its settings and clears up before it ends with the shell's status for the
// request. A second Ctrl-C ends the program at once.
class SignalEnding : public QObject {
  Q_OBJECT

 public:
  explicit SignalEnding(QObject* parent = nullptr);
  ~SignalEnding() override;
  SignalEnding(const SignalEnding&) = delete;
  SignalEnding& operator=(const SignalEnding&) = delete;

  // The status to end with (130, 143 or 129); 0 while no request came.
  int Status() const { return requested_.Reason(); }

 private:
  void End();

  platform::Cancellation requested_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace gui
