#include "viewer/frame_painter.h"

#include <QMetaObject>
#include <QPainter>

#include "viewer/display_geometry.h"

namespace rd420::viewer {

std::optional<OverlayText> CurrentOverlay(const StreamControls& controls,
                                          const CameraStatus& status) {
  if (controls.g_Zoom_Osd != 0) {
    const int zoom = static_cast<int>(status.g_Zoom_Status & 0xFFFF);
    // Above 1861 the camera zooms digitally.
    if (zoom > 1861) {
      return OverlayText{QString::asprintf("Zoom Value : %4.4d (Digital Zoom)", zoom),
                         QColor(255, 0, 0)};
    }
    return OverlayText{QString::asprintf("Zoom Value : %4.4d", zoom), QColor(255, 255, 0)};
  }
  if (controls.g_Brightness_Osd != 0) {
    const int brightness = static_cast<int>(status.g_Bright_Status & 0xFFFF);
    return OverlayText{QString::asprintf("Brightness Value : %3.3d", brightness),
                       QColor(255, 255, 0)};
  }
  return std::nullopt;
}

FramePainter::FramePainter(const StreamFlags& flags, const StreamControls& controls,
                           const CameraStatus& status, PictureView* view, QSize monitor,
                           bool fullScreenScaled)
    : flags_(flags),
      controls_(controls),
      status_(status),
      view_(view),
      monitor_(monitor),
      fullScreenScaled_(fullScreenScaled) {
}

void FramePainter::Paint(const DisplayedFrame& frame) {
  const FrameGeometry geometry = frame.bitmap.Geometry();
  const QRect target =
      DestinationRect(flags_.g_Display_Mode, status_.g_Aspect_43 != 0, monitor_, fullScreenScaled_);
  if (backBuffer_.isNull()) {
    // At least the picture's extent, should the monitor be smaller.
    const QSize extent(target.right() + 1, target.bottom() + 1);
    backBuffer_ = QImage(monitor_.expandedTo(extent), QImage::Format_RGB32);
    backBuffer_.fill(Qt::black);
  }
  // The rows are bottom-up: the frame's first row is the picture's bottom.
  const QImage rows(frame.bitmap.Pixels().data(), geometry.width, geometry.height,
                    geometry.width * 3, QImage::Format_BGR888);
  QPainter painter(&backBuffer_);
  painter.save();
  painter.translate(target.left(), target.top() + target.height());
  painter.scale(static_cast<double>(target.width()) / geometry.width,
                -static_cast<double>(target.height()) / geometry.height);
  painter.drawImage(0, 0, rows);
  painter.restore();

  if (const std::optional<OverlayText> overlay = CurrentOverlay(controls_, status_)) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    const int top = target.top() + target.height() - 20;
    const QSize box(target.width(), 20);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(target.left() + 10, top + 1), box), Qt::AlignLeft | Qt::AlignTop,
                     overlay->text);
    painter.setPen(overlay->colour);
    painter.drawText(QRect(QPoint(target.left() + 9, top), box), Qt::AlignLeft | Qt::AlignTop,
                     overlay->text);
  }
  painter.end();

  const QImage picture = backBuffer_.copy(target);
  // Queued to the view itself: dropped if the view has gone meanwhile.
  QMetaObject::invokeMethod(
      view_,
      [view = view_, picture, origin = target.topLeft()] { view->ShowPicture(picture, origin); },
      Qt::QueuedConnection);
}

}  // namespace rd420::viewer
