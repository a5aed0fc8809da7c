#pragma once

#include "corvane/platform/mailbox_target.h"

class QObject;
class QSocketNotifier;

namespace widgets {

// Runs the mailbox's queued messages on the GUI thread whenever a worker has sent one. The
// notifier belongs to `parent`; delete it before the mailbox, whose descriptor it watches.
QSocketNotifier* DeliverMailOnGuiThread(platform::MailboxTarget& mailbox, QObject* parent);

}  // namespace widgets
