#include "viewer/frame_painter.h"

#include <QMetaObject>

#include "viewer/display_geometry.h"
#include "viewer/main_window.h"

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

void DrawNewestFrame(QPainter& painter, const NewestFrame::Entry& frame, QPoint offset,
                     const PictureStage& stage) {
  if (frame.picture.isNull()) {
    return;
  }
  const FramePlacement& place = frame.placement;
  painter.save();
  painter.setClipRect(place.shown.translated(offset), Qt::IntersectClip);
  stage.Draw(painter, frame.picture, QRectF(place.target.translated(offset)));
  if (place.overlay) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    // A 1:1 picture on a smaller monitor starts off it; the value goes
    // where it can be seen.
    const QRect seen = place.target & QRect(QPoint(0, 0), place.target.bottomRight());
    const int top = seen.top() + seen.height() - 20;
    const QSize box(seen.width(), 20);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(seen.left() + 10, top + 1) + offset, box),
                     Qt::AlignLeft | Qt::AlignTop, place.overlay->text);
    painter.setPen(place.overlay->colour);
    painter.drawText(QRect(QPoint(seen.left() + 9, top) + offset, box),
                     Qt::AlignLeft | Qt::AlignTop, place.overlay->text);
  }
  painter.restore();
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
  FramePlacement place;
  place.target = DestinationRect(mode, status_.g_Aspect_43 != 0, monitor, fullScreenScaled_);
  place.shown = place.target;
  if (mode == kModeOneToOne && monitor.width() == 1280) {
    place.shown.setWidth(place.target.width() - 6);  // the button column starts at 1275
  }
  place.overlay = CurrentOverlay(controls_, status_);
  place.readEnd = frame.readEnd;
  // The view's newest frame is the one part of it made for other threads.
  if (view_->Newest().Put(frame.bitmap.Pixels(), QSize(geometry.width, geometry.height),
                          std::move(place))) {
    // Queued to the view itself: dropped if the view has gone meanwhile.
    QMetaObject::invokeMethod(
        view_, [view = view_] { view->ShowNewest(); }, Qt::QueuedConnection);
  }
}

}  // namespace rd420::viewer
