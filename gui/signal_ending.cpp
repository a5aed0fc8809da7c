#include "gui/signal_ending.h"

#include <QApplication>
#include <QSocketNotifier>

#include "corvane/platform/interrupts.h"
#include "gui/dialogs.h"

namespace gui {

SignalEnding::SignalEnding(QObject* parent) : QObject(parent) {
  platform::RouteInterruptsTo(&requested_);
  notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(requested_.WakeHandle()),
                                                QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalEnding::End);
}

SignalEnding::~SignalEnding() { platform::RouteInterruptsTo(nullptr); }

void SignalEnding::End() {
  notifier_->setEnabled(false);  // the handle stays signalled
  SetQuestionHook([](const QString&) { return true; });
  ShowBoxesOnStandardError();
  QApplication::closeAllWindows();
  QApplication::exit(Status());
}

}  // namespace gui
