#include "viewer/main_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QWindow>

#include "viewer/control_ids.h"

namespace rd420::viewer {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  setObjectName(ControlName(kIdPicture));
  setAttribute(Qt::WA_OpaquePaintEvent);
  stage_.changed = [this] { Repaint(); };
}

std::optional<QTransform> PictureView::PictureToWindow() const {
  const NewestFrame::Entry frame = newest_.Newest();
  if (frame.picture.isNull()) {
    return std::nullopt;
  }
  return stage_.LiveTransform(frame.picture.size(), QRectF(frame.placement.target));
}

void PictureView::ShowNewest() {
  newest_.Served();
  notice_.clear();  // a new live picture replaces the held one
  ++picturesShown_;
  Repaint();
}

QImage PictureView::Picture() const {
  const NewestFrame::Entry frame = newest_.Newest();
  if (frame.picture.isNull()) {
    return {};
  }
  const QRect shown = frame.placement.shown;
  QImage picture(shown.size(), QImage::Format_RGB32);
  picture.fill(Qt::black);
  QPainter painter(&picture);
  DrawNewestFrame(painter, frame, -shown.topLeft(), stage_);
  return picture;
}

void PictureView::SetNotice(const QString& text, QPoint position) {
  notice_ = text;
  noticePosition_ = position;
  Repaint();
}

void PictureView::Repaint() {
  if (isVisible() || parentWidget() == nullptr) {
    update();
  } else {
    parentWidget()->update();
  }
}

void PictureView::Draw(QPainter& painter, QPoint offset) {
  const NewestFrame::Entry frame = newest_.Newest();
  DrawNewestFrame(painter, frame, offset, stage_);
  if (framePainted && !frame.picture.isNull() && frame.placement.readEnd != lastPainted_) {
    lastPainted_ = frame.placement.readEnd;
    framePainted(lastPainted_);
  }
  if (!notice_.isEmpty()) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(255, 0, 0));
    painter.drawText(QRect(noticePosition_ + offset, QSize(400, 20)), Qt::AlignLeft | Qt::AlignTop,
                     notice_);
  }
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  Draw(painter, -pos());
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

void MainWindow::SetSeeThroughFrom(int x) {
  seeThroughFrom_ = x;
  update();
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::black);
  if (seeThroughFrom_ < width()) {
    painter.fillRect(QRect(seeThroughFrom_, 0, width() - seeThroughFrom_, height()),
                     Qt::transparent);
  }
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (view_->isHidden()) {
    view_->Draw(painter, {});
  }
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && windowHandle() &&
      (!dragArea || dragArea(event->position().toPoint()))) {
    windowHandle()->startSystemMove();
  }
}

void MainWindow::moveEvent(QMoveEvent*) {
  emit moved();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The viewer decides how to end; the window stays until it has.
  event->ignore();
  emit closeRequested();
}

}  // namespace rd420::viewer
