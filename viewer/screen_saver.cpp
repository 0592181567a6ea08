#include "viewer/screen_saver.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "platform/trace.h"

namespace rd420::viewer {
namespace {

constexpr char kService[] = "org.freedesktop.ScreenSaver";
constexpr char kPath[] = "/org/freedesktop/ScreenSaver";

}  // namespace

void ScreenSaverInhibitor::Inhibit() {
  if (cookie_ != 0 || !QDBusConnection::sessionBus().isConnected()) {
    return;
  }
  QDBusInterface screenSaver(kService, kPath, kService, QDBusConnection::sessionBus());
  const QDBusReply<uint32_t> reply =
      screenSaver.call(QStringLiteral("Inhibit"), QStringLiteral("TORVELA_VADIzivid"),
                       QStringLiteral("showing the live camera picture"));
  if (reply.isValid()) {
    cookie_ = reply.value();
  } else {
    Trace("screen saver: not held off: %s", qPrintable(reply.error().message()));
  }
}

void ScreenSaverInhibitor::Release() {
  if (cookie_ == 0) {
    return;
  }
  QDBusInterface screenSaver(kService, kPath, kService, QDBusConnection::sessionBus());
  screenSaver.call(QStringLiteral("UnInhibit"), cookie_);
  cookie_ = 0;
}

}  // namespace rd420::viewer
