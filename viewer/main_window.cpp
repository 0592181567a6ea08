#include "viewer/main_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QWindow>

#include "viewer/control_ids.h"

namespace rd420::viewer {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  setObjectName(ControlName(kIdPicture));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::ShowPicture(const QImage& picture, QPoint origin) {
  picture_ = picture;
  origin_ = origin;
  notice_.clear();  // a new live picture replaces the held one
  ++picturesShown_;
  update();
}

void PictureView::SetNotice(const QString& text, QPoint position) {
  notice_ = text;
  noticePosition_ = position;
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!picture_.isNull()) {
    painter.drawImage(origin_ - pos(), picture_);
  }
  if (!notice_.isEmpty()) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(255, 0, 0));
    painter.drawText(QRect(noticePosition_ - pos(), QSize(400, 20)), Qt::AlignLeft | Qt::AlignTop,
                     notice_);
  }
}

MainWindow::MainWindow(bool aspect43) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
  // The strip behind the buttons shows the desktop through, as the
  // original's colour key did.
  setAttribute(Qt::WA_TranslucentBackground);
  const int height = aspect43 ? 482 : 362;
  resize(660, height);
  view_ = new PictureView(this);
  view_->setGeometry(0, 0, 642, height);
  for (const ButtonSpec& spec : MainButtons()) {
    auto* button = new SkinButton(spec, this);
    if (!aspect43 && InBottomGroup(spec.id)) {
      button->move(spec.x, spec.y + kBottomGroupShift169);
    }
  }
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.fillRect(QRect(0, 0, 642, height()), Qt::black);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && windowHandle()) {
    windowHandle()->startSystemMove();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The viewer decides how to end; the window stays until it has.
  event->ignore();
  emit closeRequested();
}

}  // namespace rd420::viewer
