#include "widgets/mailbox_delivery.h"

#include <QSocketNotifier>
#include <QTimer>

namespace widgets {

QObject* DeliverMailOnGuiThread(platform::MailboxTarget& mailbox, QObject* parent) {
  auto* delivery = new QObject(parent);
  auto* waiting = new QSocketNotifier(static_cast<qintptr>(mailbox.WakeHandle()),
                                      QSocketNotifier::Read, delivery);
  auto* posted = new QSocketNotifier(static_cast<qintptr>(mailbox.PostedWakeHandle()),
                                     QSocketNotifier::Read, delivery);
  auto* pace = new QTimer(delivery);
  pace->setSingleShot(true);
  pace->setInterval(kPostedPaceMs);
  QObject::connect(waiting, &QSocketNotifier::activated, delivery,
                   [&mailbox] { mailbox.Deliver(); });
  // Posted mail that comes while the notifier rests waits in the queue; the notifier, enabled
  // again on a descriptor still readable, fires at once.
  QObject::connect(posted, &QSocketNotifier::activated, delivery, [&mailbox, posted, pace] {
    mailbox.Deliver();
    posted->setEnabled(false);
    pace->start();
  });
  QObject::connect(pace, &QTimer::timeout, posted, [posted] { posted->setEnabled(true); });
  return delivery;
}

}  // namespace widgets
