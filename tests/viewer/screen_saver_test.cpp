// The viewer holds the screen saver off while it streams, through a
// private session bus with a stand-in for the desktop's service.
#include <QDBusConnection>
#include <QProcess>

#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {

// Answers the two calls of the freedesktop ScreenSaver interface and
// remembers them. Lives on a thread of its own, so the viewer's blocking
// call on the GUI thread can be answered.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  std::atomic<int> inhibits{0};
  std::atomic<int> uninhibits{0};
  std::atomic<uint32_t> releasedCookie{0};

 public slots:
  uint Inhibit(const QString& application, const QString&) {
    if (application == QStringLiteral("TORVELA_VADIzivid")) {
      ++inhibits;
    }
    return 4242;
  }
  void UnInhibit(uint cookie) {
    releasedCookie = cookie;
    ++uninhibits;
  }
};

namespace {

// Catches: streaming without holding the screen saver off, or an exit that
// leaves it held.
TEST_F(ViewerTest, ScreenSaverIsHeldOffWhileStreaming) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
  if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
    GTEST_SKIP() << "no dbus-daemon to run a private session bus";
  }
  const QByteArray address = daemon.readLine().trimmed();
  qputenv("DBUS_SESSION_BUS_ADDRESS", address);

  QThread serviceThread;
  FakeScreenSaver service;
  service.moveToThread(&serviceThread);
  serviceThread.start();
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), "fake-desktop");
  ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
  ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                 QDBusConnection::ExportAllSlots));

  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(service.inhibits, 1);
  EXPECT_EQ(service.uninhibits, 0);
  Click(Main().Button(kIdExit));
  EXPECT_TRUE(WaitFor([&] { return service.uninhibits == 1; }, 3000));
  EXPECT_EQ(service.releasedCookie, 4242u);

  QDBusConnection::disconnectFromBus("fake-desktop");
  serviceThread.quit();
  serviceThread.wait();
  daemon.kill();
  daemon.waitForFinished();
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
}  // namespace rd420::viewer::test

#include "screen_saver_test.moc"
