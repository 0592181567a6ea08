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
                           const CameraStatus& status, PictureView* view,
                           const MonitorSnapshot& monitor,
                           const std::atomic<bool>& fullScreenScaled)
    : flags_(flags),
      controls_(controls),
      status_(status),
      view_(view),
      monitor_(monitor),
      fullScreenScaled_(fullScreenScaled) {
}

void FramePainter::Paint(const DisplayedFrame& frame) {
  const FrameGeometry geometry = frame.bitmap.Geometry();
  const uint8_t mode = flags_.g_Display_Mode;
  const QSize monitor = monitor_.Get().size();
  const QRect target = DestinationRect(mode, status_.g_Aspect_43 != 0, monitor, fullScreenScaled_);
  // The window may have moved to a larger monitor since the last frame.
  if (backBuffer_.width() <= target.right() || backBuffer_.height() <= target.bottom() ||
      backBuffer_.width() < monitor.width() || backBuffer_.height() < monitor.height()) {
    backBuffer_ = QImage(monitor.expandedTo(QSize(target.right() + 1, target.bottom() + 1)),
                         QImage::Format_RGB32);
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
    // A 1:1 picture on a smaller monitor starts off it; the value goes
    // where it can be seen.
    const QRect seen = target & QRect(QPoint(0, 0), backBuffer_.size());
    const int top = seen.top() + seen.height() - 20;
    const QSize box(seen.width(), 20);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(seen.left() + 10, top + 1), box), Qt::AlignLeft | Qt::AlignTop,
                     overlay->text);
    painter.setPen(overlay->colour);
    painter.drawText(QRect(QPoint(seen.left() + 9, top), box), Qt::AlignLeft | Qt::AlignTop,
                     overlay->text);
  }
  painter.end();

  QRect shown = target;
  if (mode == kModeOneToOne && monitor.width() == 1280) {
    shown.setWidth(target.width() - 6);  // the button column starts at 1275
  }
  const QImage picture = backBuffer_.copy(shown);
  // Queued to the view itself: dropped if the view has gone meanwhile.
  QMetaObject::invokeMethod(
      view_,
      [view = view_, picture, origin = shown.topLeft()] { view->ShowPicture(picture, origin); },
      Qt::QueuedConnection);
}

}  // namespace rd420::viewer
