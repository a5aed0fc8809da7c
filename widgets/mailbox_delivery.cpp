#include "widgets/mailbox_delivery.h"

#include <QSocketNotifier>

namespace widgets {

QSocketNotifier* DeliverMailOnGuiThread(platform::MailboxTarget& mailbox, QObject* parent) {
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(mailbox.WakeHandle()),
                                       QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent,
                   [&mailbox] { mailbox.Deliver(); });
  return notifier;
}

}  // namespace widgets
