#include "viewer/picture_stage.h"

#include <algorithm>

namespace rd420::viewer {

QSizeF PictureSize(QSize framePixels) {
  if (framePixels.width() <= 0) {
    return {1, 0};
  }
  return {1, static_cast<qreal>(framePixels.height()) / framePixels.width()};
}

QTransform PictureToView(QSizeF picture, Orientation orientation, const QRectF& cell) {
  const int turns = ((orientation.quarterTurns % 4) + 4) % 4;
  const bool sideways = turns % 2 != 0;
  const QSizeF turned = sideways ? picture.transposed() : picture;
  if (turned.isEmpty() || cell.isEmpty()) {
    return {};
  }
  qreal scaleX = cell.width() / turned.width();
  qreal scaleY = cell.height() / turned.height();
  QPointF origin = cell.topLeft();
  if (sideways) {
    scaleX = scaleY = std::min(scaleX, scaleY);
    origin += QPointF((cell.width() - turned.width() * scaleX) / 2,
                      (cell.height() - turned.height() * scaleY) / 2);
  }
  // Read right to left: turn about the picture's centre, mirror, then move
  // the turned picture's top left to the origin and scale it there.
  QTransform transform;
  transform.translate(origin.x(), origin.y());
  transform.scale(scaleX, scaleY);
  transform.translate(turned.width() / 2, turned.height() / 2);
  if (orientation.mirrored) {
    transform.scale(-1, 1);
  }
  transform.rotate(90.0 * turns);
  transform.translate(-picture.width() / 2, -picture.height() / 2);
  return transform;
}

QImage Oriented(const QImage& picture, Orientation orientation) {
  const int turns = ((orientation.quarterTurns % 4) + 4) % 4;
  if (turns == 0 && !orientation.mirrored) {
    return picture;
  }
  QTransform transform;
  transform.rotate(90.0 * turns);
  QImage turned = turns == 0 ? picture : picture.transformed(transform);
  return orientation.mirrored ? turned.mirrored(true, false) : turned;
}

void PictureStage::SetOrientation(Orientation orientation) {
  orientation.quarterTurns = ((orientation.quarterTurns % 4) + 4) % 4;
  orientation_ = orientation;
  Changed();
}

void PictureStage::AddLayer(const PictureLayer* layer) {
  layers_.push_back(layer);
  Changed();
}

void PictureStage::Clear() {
  layers_.clear();
  arrangement_ = nullptr;
  Changed();
}

void PictureStage::SetArrangement(const StageArrangement* arrangement) {
  arrangement_ = arrangement;
  Changed();
}

QRectF PictureStage::LiveCell(const QRectF& area) const {
  return arrangement_ != nullptr ? arrangement_->LiveCell(area) : area;
}

QTransform PictureStage::LiveTransform(QSize framePixels, const QRectF& area) const {
  return PictureToView(PictureSize(framePixels), orientation_, LiveCell(area));
}

void PictureStage::Draw(QPainter& painter, const QImage& frame, const QRectF& area) const {
  if (arrangement_ != nullptr) {
    arrangement_->Paint(painter, area, orientation_);
  }
  const bool plain = orientation_ == Orientation{} && arrangement_ == nullptr;
  if (plain) {
    // Scaled unsmoothed, to the nearest pixel: the cheapest way.
    painter.drawImage(area.toRect(), frame);
    if (layers_.empty()) {
      return;
    }
  }
  // Worked out once a frame, for the frame and every layer.
  const QRectF cell = LiveCell(area);
  const QTransform toView = PictureToView(PictureSize(frame.size()), orientation_, cell);
  painter.save();
  painter.setClipRect(cell, Qt::IntersectClip);
  if (!plain) {
    painter.save();
    // Frame pixels to picture coordinates, then on to the view.
    const QTransform pixels = QTransform::fromScale(1.0 / frame.width(), 1.0 / frame.width());
    painter.setTransform(pixels * toView, true);
    painter.drawImage(QPointF(0, 0), frame);
    painter.restore();
  }
  for (const PictureLayer* layer : layers_) {
    painter.save();
    layer->Paint(painter, toView, cell);
    painter.restore();
  }
  painter.restore();
}

void PictureStage::Changed() const {
  if (changed) {
    changed();
  }
}

}  // namespace rd420::viewer
