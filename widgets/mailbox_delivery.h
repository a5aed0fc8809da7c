#pragma once

#include "corvane/platform/mailbox_target.h"

class QObject;

namespace widgets {

// How often posted mail (progress positions) is taken at most: a bar moved ten times a second
// looks as smooth as one moved at every block, and every wake-up of the GUI thread takes a
// processor from the worker and the phone just when the next block is due.
constexpr int kPostedPaceMs = 250;

// Runs the mailbox's queued messages on the GUI thread: at once when a worker waits for its
// handler, and posted mail when it comes, then at most once per kPostedPaceMs (a waiting
// sender's delivery takes the posted mail queued before it, so the order holds). The returned
// object belongs to `parent`; delete it before the mailbox, whose descriptors it watches.
QObject* DeliverMailOnGuiThread(platform::MailboxTarget& mailbox, QObject* parent);

}  // namespace widgets
