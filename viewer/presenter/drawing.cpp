#include "viewer/presenter/drawing.h"

#include <QFontMetricsF>
#include <QLineF>
#include <algorithm>
#include <cmath>

namespace rd420::viewer {
namespace {

// Fractions of the picture's width: at half size 640 pixels, thin is
// about 1.5 pixels and thick 5; a highlighter is four times as wide.
constexpr qreal kStrokeWidths[] = {0.0024, 0.0045, 0.008};
constexpr qreal kHighlighterFactor = 4;
constexpr int kHighlighterAlpha = 90;
// A text label's height, as a fraction of the picture's width.
constexpr qreal kTextSizes[] = {0.022, 0.032, 0.048};
// Fonts are measured at this size and scaled.
constexpr int kReferencePixels = 100;
// Picture coordinates are scaled up this much before curves are flattened
// for erasing, which judges them as lines.
constexpr qreal kFlatten = 1000;

QFont LabelFont(int pixels) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(std::max(1, pixels));
  font.setBold(true);
  return font;
}

int Clamped(int widthStep) {
  return std::clamp(widthStep, 0, 2);
}

qreal DistanceToSegment(QPointF p, QPointF a, QPointF b) {
  const QPointF ab = b - a;
  const qreal lengthSquared = QPointF::dotProduct(ab, ab);
  const qreal t =
      lengthSquared > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / lengthSquared, 0.0, 1.0) : 0;
  const QPointF nearest = a + t * ab;
  return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

QPainterPath ShapePath(const Mark& mark, qreal width) {
  QPainterPath path;
  if (mark.points.empty()) {
    return path;
  }
  const QPointF from = mark.points.front();
  const QPointF to = mark.points.back();
  switch (mark.kind) {
    case MarkKind::kPen:
    case MarkKind::kHighlighter:
      path.moveTo(from);
      if (mark.points.size() == 1) {
        path.lineTo(from);  // a dot: the round cap shows it
      }
      for (size_t i = 1; i < mark.points.size(); ++i) {
        path.lineTo(mark.points[i]);
      }
      break;
    case MarkKind::kArrow: {
      path.moveTo(from);
      path.lineTo(to);
      // The head grows with the width, never shorter than a glance can see.
      const qreal head = std::max(0.025, 4 * width);
      QLineF back(to, from);
      back.setLength(head);
      for (const qreal angle : {-25.0, 25.0}) {
        QLineF side = back;
        side.setAngle(back.angle() + angle);
        path.moveTo(to);
        path.lineTo(side.p2());
      }
      break;
    }
    case MarkKind::kLine:
      path.moveTo(from);
      path.lineTo(to);
      break;
    case MarkKind::kRectangle:
      path.addRect(QRectF(from, to).normalized());
      break;
    case MarkKind::kEllipse:
      path.addEllipse(QRectF(from, to).normalized());
      break;
    case MarkKind::kText:
      break;
  }
  return path;
}

}  // namespace

qreal Drawing::StrokeWidth(MarkKind kind, int widthStep) {
  const qreal width = kStrokeWidths[Clamped(widthStep)];
  return kind == MarkKind::kHighlighter ? width * kHighlighterFactor : width;
}

Drawing::Entry Drawing::Made(Mark mark) {
  Entry entry;
  if (mark.kind == MarkKind::kText) {
    const qreal size = kTextSizes[Clamped(mark.widthStep)];
    const QFontMetricsF metrics(LabelFont(kReferencePixels));
    const qreal scale = size / kReferencePixels;
    const QPointF at = mark.points.empty() ? QPointF() : mark.points.front();
    entry.bounds =
        QRectF(at, QSizeF(metrics.horizontalAdvance(mark.text) * scale, metrics.height() * scale));
  } else {
    const qreal width = StrokeWidth(mark.kind, mark.widthStep);
    entry.path = ShapePath(mark, width);
    entry.bounds = entry.path.boundingRect().adjusted(-width / 2, -width / 2, width / 2, width / 2);
  }
  entry.mark = std::move(mark);
  return entry;
}

void Drawing::Add(Mark mark) {
  entries_.push_back(Made(std::move(mark)));
  ++shown_;
  Push({Step::kAdd, {entries_.size() - 1}});
  dirty_ |= Reach(entries_[steps_.back().marks.front()]);
  Changed();
}

void Drawing::SetPending(std::optional<Mark> mark) {
  if (mark) {
    pending_ = Made(std::move(*mark));
  } else {
    pending_.reset();
  }
  Changed();
}

bool Drawing::Hits(const Entry& entry, QPointF at, qreal radius, const QTransform& toView) {
  if (!Reach(entry).adjusted(-radius, -radius, radius, radius).contains(at)) {
    return false;
  }
  if (entry.mark.kind == MarkKind::kText) {
    // Its box as the screen shows it: from the anchor, rightwards and down.
    const qreal scale = QLineF(toView.map(QPointF(0, 0)), toView.map(QPointF(1, 0))).length();
    const QRectF box(toView.map(entry.bounds.topLeft()), entry.bounds.size() * scale);
    const qreal reach = radius * scale;
    return box.adjusted(-reach, -reach, reach, reach).contains(toView.map(at));
  }
  const qreal reach = (radius + StrokeWidth(entry.mark.kind, entry.mark.widthStep) / 2) * kFlatten;
  const QPointF scaled = at * kFlatten;
  for (const QPolygonF& polygon :
       entry.path.toSubpathPolygons(QTransform::fromScale(kFlatten, kFlatten))) {
    if (polygon.size() == 1 && DistanceToSegment(scaled, polygon[0], polygon[0]) <= reach) {
      return true;
    }
    for (qsizetype i = 1; i < polygon.size(); ++i) {
      if (DistanceToSegment(scaled, polygon[i - 1], polygon[i]) <= reach) {
        return true;
      }
    }
  }
  return false;
}

int Drawing::EraseAt(QPointF at, qreal radius, bool sameGesture, const QTransform& toView) {
  std::vector<size_t> erased;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].shown && Hits(entries_[i], at, radius, toView)) {
      SetShown(i, false);
      erased.push_back(i);
    }
  }
  if (erased.empty()) {
    return 0;
  }
  if (sameGesture && done_ == steps_.size() && done_ > 0 &&
      steps_[done_ - 1].kind == Step::kErase) {
    std::vector<size_t>& marks = steps_[done_ - 1].marks;
    marks.insert(marks.end(), erased.begin(), erased.end());
  } else {
    Push({Step::kErase, erased});
  }
  Changed();
  return static_cast<int>(erased.size());
}

void Drawing::Clear() {
  std::vector<size_t> cleared;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].shown) {
      SetShown(i, false);
      cleared.push_back(i);
    }
  }
  if (cleared.empty()) {
    return;
  }
  Push({Step::kClear, std::move(cleared)});
  Changed();
}

void Drawing::Push(Step step) {
  // The marks only undone steps made are the newest: nothing can bring
  // them back once a new step is done.
  const bool adds = step.kind == Step::kAdd;
  const size_t made = entries_.size() - (adds ? 1 : 0);  // an added mark is already in
  size_t keep = made;
  for (size_t i = done_; i < steps_.size(); ++i) {
    if (steps_[i].kind == Step::kAdd) {
      keep = std::min(keep, steps_[i].marks.front());
    }
  }
  if (adds && keep < made) {
    // The new mark was appended after the dropped ones: move it down.
    std::swap(entries_[keep], entries_.back());
    step.marks = {keep};
  }
  entries_.resize(adds ? keep + 1 : keep);
  steps_.resize(done_);
  steps_.push_back(std::move(step));
  done_ = steps_.size();
}

void Drawing::Show(const Step& step, bool forward) {
  // Forward adds show their mark; erases and clears hide theirs.
  const bool shown = (step.kind == Step::kAdd) == forward;
  for (const size_t i : step.marks) {
    SetShown(i, shown);
  }
}

void Drawing::SetShown(size_t index, bool shown) {
  Entry& entry = entries_[index];
  if (entry.shown != shown) {
    entry.shown = shown;
    shown_ += shown ? 1 : -1;
    dirty_ |= Reach(entry);
  }
}

void Drawing::Undo() {
  if (!CanUndo()) {
    return;
  }
  --done_;
  Show(steps_[done_], false);
  Changed();
}

void Drawing::Redo() {
  if (!CanRedo()) {
    return;
  }
  Show(steps_[done_], true);
  ++done_;
  Changed();
}

QRectF Drawing::Reach(const Entry& entry) {
  if (entry.mark.kind != MarkKind::kText) {
    return entry.bounds;
  }
  const qreal reach = std::max(entry.bounds.width(), entry.bounds.height());
  return QRectF(entry.bounds.topLeft() - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach));
}

void Drawing::PaintEntry(QPainter& painter, const Entry& entry, const QTransform& toDevice) {
  const Mark& mark = entry.mark;
  // Painted in the device's pixels: a path mapped there and a pen as wide
  // as the picture's width there says, cheaper than a scaled pen.
  const qreal scale = QLineF(toDevice.map(QPointF(0, 0)), toDevice.map(QPointF(1, 0))).length();
  if (mark.kind == MarkKind::kText) {
    if (mark.points.empty()) {
      return;
    }
    // Upright on the screen whatever the orientation, its size the
    // picture's.
    const int pixels = qRound(kTextSizes[Clamped(mark.widthStep)] * scale);
    painter.setFont(LabelFont(pixels));
    painter.setPen(mark.colour);
    const QPointF at = toDevice.map(mark.points.front());
    painter.drawText(QRectF(at, QSizeF(pixels * (mark.text.size() + 2), pixels * 2)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, mark.text);
    return;
  }
  QColor colour = mark.colour;
  if (mark.kind == MarkKind::kHighlighter) {
    colour.setAlpha(kHighlighterAlpha);
  }
  // Bevelled joins: between the short steps of a freehand stroke they
  // look as round ones do and cost a third less to paint.
  const Qt::PenJoinStyle join = mark.kind == MarkKind::kRectangle ? Qt::MiterJoin : Qt::BevelJoin;
  painter.strokePath(toDevice.map(entry.path),
                     QPen(colour, scale * StrokeWidth(mark.kind, mark.widthStep), Qt::SolidLine,
                          Qt::RoundCap, join));
}

void Drawing::Refresh() const {
  const QTransform toImage =
      cache_.toDevice * QTransform::fromTranslate(-cache_.area.left(), -cache_.area.top());
  const QRect whole(QPoint(0, 0), cache_.area.size());
  // Two pixels more for the antialiased edge.
  const QRect region =
      dirtyAll_ ? whole : toImage.mapRect(dirty_).toAlignedRect().adjusted(-2, -2, 2, 2) & whole;
  dirty_ = {};
  dirtyAll_ = false;
  if (region.isEmpty()) {
    return;
  }
  QPainter painter(&cache_.image);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(region, Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setClipRect(region);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF regionF(region);
  cache_.ink = {};
  for (const Entry& entry : entries_) {
    if (!entry.shown) {
      continue;
    }
    const QRectF reach = toImage.mapRect(Reach(entry));
    cache_.ink |= reach.toAlignedRect().adjusted(-2, -2, 2, 2) & whole;
    if (reach.intersects(regionF)) {
      PaintEntry(painter, entry, toImage);
    }
  }
}

void Drawing::Paint(QPainter& painter, const QTransform& toView, const QRectF& cell) const {
  if (Empty()) {
    return;
  }
  // Only what the painter's clip lets show: the shown part of the picture.
  const QRectF shown = painter.hasClipping() ? cell & painter.clipBoundingRect() : cell;
  const QRect area = painter.transform().mapRect(shown).toAlignedRect();
  if (area.isEmpty()) {
    return;
  }
  // In the device's own pixels on a screen that has more than one per
  // point, so the marks stay as sharp as painted straight.
  const qreal ratio = painter.device()->devicePixelRatio();
  const QTransform toDevice = toView * painter.transform();
  if (cache_.area != area || cache_.toDevice != toDevice ||
      cache_.image.devicePixelRatio() != ratio) {
    QImage image(area.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    cache_ = {std::move(image), toDevice, area, {}};
    dirtyAll_ = true;
  }
  if (dirtyAll_ || !dirty_.isEmpty()) {
    Refresh();
  }
  painter.save();
  painter.resetTransform();
  // An empty source rectangle would mean the whole image to Qt.
  if (!cache_.ink.isEmpty()) {
    const QRectF ink(QPointF(cache_.ink.topLeft()) * ratio, QSizeF(cache_.ink.size()) * ratio);
    painter.drawImage(QPointF(area.topLeft() + cache_.ink.topLeft()), cache_.image, ink);
  }
  if (pending_) {
    painter.setRenderHint(QPainter::Antialiasing);
    PaintEntry(painter, *pending_, toDevice);
  }
  painter.restore();
}

void Drawing::Changed() const {
  if (changed) {
    changed();
  }
}

}  // namespace rd420::viewer
