#include "viewer/about_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "viewer/control_ids.h"
#include "viewer/skin_button.h"

namespace rd420::viewer {

AboutBox::AboutBox(std::atomic<uint32_t>& zoomOverlay, std::atomic<uint32_t>& brightnessOverlay,
                   QWidget* owner, const QString& product, const QString& detail)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("dialog419"));
  setFixedSize(390, 100);
  setStyleSheet(QStringLiteral("background: #2b2f36; color: #e6e8eb;"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(product, this));
  layout->addWidget(new QLabel(detail, this));
  auto* buildTime =
      new QLabel(QStringLiteral("Build Time: ") + QStringLiteral(__DATE__ " " __TIME__), this);
  buildTime->setObjectName(QStringLiteral("buildTime"));
  layout->addWidget(buildTime);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(ControlName(1));
  layout->addWidget(ok, 0, Qt::AlignRight);
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);

  for (auto [timer, overlay] :
       {std::pair{&zoomTimer_, &zoomOverlay}, std::pair{&brightnessTimer_, &brightnessOverlay}}) {
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kOverlayTimeoutMs);
    connect(timer, &QTimer::timeout, this, [flag = overlay] { *flag = 0; });
  }
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && windowHandle()) {
    windowHandle()->startSystemMove();
  }
}

SplashWindow::SplashWindow() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("dialog305"));
  auto* picture = new QLabel(this);
  picture->setPixmap(SkinPicture(kBitmapSplash));
  picture->setGeometry(0, 0, 502, 283);
  setFixedSize(502, 283);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  move((screen.width() - 502) / 2, (screen.height() - 283) / 2);
}

}  // namespace rd420::viewer
