// The capture program holds the screen saver off while it streams, through
// a private session bus with a stand-in for the desktop's service.
#include <QDBusConnection>
#include <QProcess>

#include "avicap/capture_fixture.h"

namespace rd420::avicap::test {

// Answers the freedesktop ScreenSaver calls and remembers them. Lives on a
// thread of its own, so the program's blocking call can be answered.
class StandInScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  std::atomic<int> inhibits{0};
  std::atomic<int> uninhibits{0};

 public slots:
  uint Inhibit(const QString& application, const QString&) {
    if (application == QStringLiteral("TORVELA_AVICap")) {
      ++inhibits;
    }
    return 77;
  }
  void UnInhibit(uint cookie) {
    if (cookie == 77) {
      ++uninhibits;
    }
  }
};

namespace {

// Catches: streaming without holding the screen saver off, holding it
// under another program's name, or an exit that leaves it held.
TEST_F(CaptureTest, ScreenSaverIsHeldOffWhileStreaming) {
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
  StandInScreenSaver service;
  service.moveToThread(&serviceThread);
  serviceThread.start();
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), "desktop");
  ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
  ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                 QDBusConnection::ExportAllSlots));

  ASSERT_TRUE(StartCapture());
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(service.inhibits, 1);
  Click(kIdCapture);  // a new cycle does not ask again
  ASSERT_TRUE(WaitFor([&] { return log_.Frames() > 0; }));
  EXPECT_EQ(service.inhibits, 1);
  EXPECT_EQ(service.uninhibits, 0);
  Click(kIdExit);
  EXPECT_TRUE(WaitFor([&] { return service.uninhibits == 1; }, 3000));

  QDBusConnection::disconnectFromBus("desktop");
  serviceThread.quit();
  serviceThread.wait();
  daemon.kill();
  daemon.waitForFinished();
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
}  // namespace rd420::avicap::test

#include "capture_screen_saver_test.moc"
