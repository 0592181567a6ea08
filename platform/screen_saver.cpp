#include "platform/screen_saver.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "platform/trace.h"

namespace rd420 {
namespace {

constexpr char kService[] = "org.freedesktop.ScreenSaver";
constexpr char kPath[] = "/org/freedesktop/ScreenSaver";
// A connection of our own: the desktop drops an inhibition when the
// connection that asked for it closes, so it must live until Release.
constexpr char kConnection[] = "rd420-screen-saver";
// The calls run on the GUI thread; a desktop that does not answer soon is
// treated as one without the service.
constexpr int kCallTimeoutMs = 2000;

}  // namespace

void ScreenSaverInhibitor::Inhibit() {
  if (cookie_ != 0) {
    return;
  }
  // The address is read afresh each time: the bus library remembers the
  // first session address it looked up, even a failed lookup.
  const QString name = QString::fromLatin1(kConnection);
  const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  const QDBusConnection bus = address.isEmpty()
                                  ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                  : QDBusConnection::connectToBus(address, name);
  if (!bus.isConnected()) {
    QDBusConnection::disconnectFromBus(name);
    return;
  }
  QDBusInterface screenSaver(kService, kPath, kService, bus);
  screenSaver.setTimeout(kCallTimeoutMs);
  const QDBusReply<uint32_t> reply = screenSaver.call(
      QStringLiteral("Inhibit"), application_, QStringLiteral("showing the live camera picture"));
  if (reply.isValid()) {
    cookie_ = reply.value();
  } else {
    Trace("screen saver: not held off: %s", qPrintable(reply.error().message()));
    QDBusConnection::disconnectFromBus(name);
  }
}

void ScreenSaverInhibitor::Release() {
  if (cookie_ == 0) {
    return;
  }
  const QDBusConnection bus(QString::fromLatin1(kConnection));
  QDBusInterface screenSaver(kService, kPath, kService, bus);
  screenSaver.setTimeout(kCallTimeoutMs);
  screenSaver.call(QStringLiteral("UnInhibit"), cookie_);
  cookie_ = 0;
  QDBusConnection::disconnectFromBus(QString::fromLatin1(kConnection));
}

}  // namespace rd420
