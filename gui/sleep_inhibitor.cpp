#include "gui/sleep_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <cstdio>

#include "host/sleep_inhibition.h"

namespace gui {
namespace {

// logind answers at once; a bus that does not must not hold up the start of a run.
constexpr int kCallTimeoutMs = 2000;

}  // namespace

void SleepInhibitor::Install() {
  static SleepInhibitor inhibitor;
  sleep_inhibition::SetBackend([](bool inhibit) { inhibitor.Inhibit(inhibit); });
}

// Releasing closes this process's copy of the descriptor, which is all logind waits for.
void SleepInhibitor::Inhibit(bool inhibit) {
  lock_ = QDBusUnixFileDescriptor();
  if (!inhibit) return;
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return Warn(bus.lastError().message());
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString("sleep") << QString("Tarvex") << QString("Writing firmware into a phone")
       << QString("block");
  const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (!reply.isValid()) return Warn(reply.error().message());
  lock_ = reply.value();
}

void SleepInhibitor::Warn(const QString& why) {
  if (warned_) return;
  warned_ = true;
  std::fprintf(stderr, "tarvex: the system may sleep during a run (no logind inhibitor: %s)\n",
               why.isEmpty() ? "no system bus" : why.toLocal8Bit().constData());
}

}  // namespace gui
