#include "relay/relay_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include "platform/trace.h"

namespace rd420::relay {

namespace {

constexpr int kWidth = 550;
constexpr int kHeight = 180;

}  // namespace

RelayDlg::RelayDlg(Options options) : options_(std::move(options)) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(kWidth, kHeight);
  // Both pictures exist, hidden; the mode shows its own.
  for (const RelayMode& mode : kRelayModes) {
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ctrl%1").arg(mode.pictureControl));
    picture->setPixmap(QPixmap(QStringLiteral(":/relay/%1.png").arg(mode.bitmap)));
    picture->setGeometry(0, 0, kWidth, kHeight);
    picture->setVisible(&mode == options_.mode);
  }
  // Centred in the screen less its panels, in whole pixels. A platform
  // may have no screen (yet); the window manager then places it.
  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }
  connect(&poll_, &QTimer::timeout, this, &RelayDlg::OnTick);
  poll_.start(options_.pollIntervalMs);
}

void RelayDlg::OnTick() {
  if (options_.handingOverRuns()) {
    return;  // no time-out: the camera is not free before it has gone
  }
  poll_.stop();
  if (options_.mode->mode == 0) {
    hide();
  }
  const QString program =
      options_.programDirectory + QLatin1Char('/') +
      QString::fromLatin1(options_.mode->program.data(),
                          static_cast<qsizetype>(options_.mode->program.size()));
  // A missing program ends the relay as quietly as a started one.
  if (!QProcess::startDetached(program, {})) {
    Trace("Swivane: cannot start %s", qPrintable(program));
  }
  done(1);
}

}  // namespace rd420::relay
