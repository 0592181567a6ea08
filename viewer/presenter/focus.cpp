#include "viewer/presenter/focus.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QTouchEvent>
#include <algorithm>

#include "viewer/main_window.h"
#include "viewer/presenter/presenter_style.h"

namespace rd420::viewer {
namespace {

using enum PresenterAction;

const QColor kShade(0, 0, 0, 178);  // about 70 % black
const QColor kPaper(0xdc, 0xdc, 0xd7);
constexpr qreal kGrabPx = 6;       // how near an edge a press resizes
constexpr qreal kSmallestPx = 16;  // a shape is never resized below this
constexpr qreal kHandlePx = 7;
// Qt hands a fill of more than about a hundred rows to its thread pool;
// in strips it stays on the GUI thread, which costs far less CPU time in
// all (no hand-over, no cache lines moving between cores): see
// bench/presenter_bench.
constexpr int kStripRows = 64;

enum Edge { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

// `value` kept between `low` and `high`; `low` wins where they cross (a
// shape smaller than the smallest, from a larger mode).
qreal Between(qreal value, qreal low, qreal high) {
  return std::max(low, std::min(value, high));
}

Qt::CursorShape CursorFor(int edges) {
  switch (edges) {
    case 0:
      return Qt::SizeAllCursor;
    case kLeft | kTop:
    case kRight | kBottom:
      return Qt::SizeFDiagCursor;
    case kRight | kTop:
    case kLeft | kBottom:
      return Qt::SizeBDiagCursor;
    case kLeft:
    case kRight:
      return Qt::SizeHorCursor;
    default:
      return Qt::SizeVerCursor;
  }
}

// Which edges of `shape` lie under `at` (window coordinates): the nearer
// of two opposite ones.
int EdgesAt(const QRectF& shape, QPointF at) {
  int edges = 0;
  const qreal left = std::abs(at.x() - shape.left());
  const qreal right = std::abs(at.x() - shape.right());
  const qreal top = std::abs(at.y() - shape.top());
  const qreal bottom = std::abs(at.y() - shape.bottom());
  if (std::min(left, right) <= kGrabPx) {
    edges |= left < right ? kLeft : kRight;
  }
  if (std::min(top, bottom) <= kGrabPx) {
    edges |= top < bottom ? kTop : kBottom;
  }
  return edges;
}

void FillInStrips(QPainter& painter, const QRect& rect, const QColor& colour) {
  for (int top = rect.top(); top <= rect.bottom(); top += kStripRows) {
    painter.fillRect(rect.left(), top, rect.width(), std::min(kStripRows, rect.bottom() + 1 - top),
                     colour);
  }
}

}  // namespace

Focus::Focus(MainWindow& main, const PresenterActions& actions) : main_(main), actions_(actions) {
  connect(actions_[kSpotlightEllipse], &QAction::triggered, this,
          [this](bool on) { SetSpotlight(on, true); });
  connect(actions_[kSpotlightRectangle], &QAction::triggered, this,
          [this](bool on) { SetSpotlight(on, false); });
  connect(actions_[kMask], &QAction::triggered, this, [this](bool on) { Toggle(mask_, on); });
  connect(actions_[kLeave], &QAction::triggered, this, &Focus::Leave);
  main_.View()->Stage().AddLayer(this);
  // The handles show while the pointer is over a shape, buttons up.
  main_.setMouseTracking(true);
  main_.View()->setMouseTracking(true);
  qApp->installEventFilter(this);
}

Focus::~Focus() {
  qApp->removeEventFilter(this);
}

std::optional<QRectF> Focus::Spotlight() const {
  return spotlight_.on ? std::optional(spotlight_.place) : std::nullopt;
}

std::optional<QRectF> Focus::Mask() const {
  return mask_.on ? std::optional(mask_.place) : std::nullopt;
}

void Focus::Leave() {
  Toggle(spotlight_, false);
  Toggle(mask_, false);
}

void Focus::SetSpotlight(bool on, bool round) {
  // From round to square and back the spotlight stays where it is.
  round_ = round;
  Toggle(spotlight_, on);
}

void Focus::Toggle(Shape& shape, bool on) {
  const bool wasActive = Active();
  if (on && !shape.on) {
    // Centred, a third of the picture's width and height.
    const QSize frame = main_.View()->Newest().Newest().picture.size();
    const QSizeF picture = frame.isEmpty() ? QSizeF(1, 0.75) : PictureSize(frame);
    shape.place = QRectF(QPointF(picture.width(), picture.height()) / 3, picture / 3);
  }
  shape.on = on;
  if (!on) {
    if (drag_ && drag_->shape == &shape) {
      drag_.reset();
    }
    if (hovered_ == &shape) {
      hovered_ = nullptr;
      main_.unsetCursor();
    }
  }
  Sync();
  Repaint();
  if (Active() != wasActive) {
    emit activeChanged();
  }
}

void Focus::Sync() {
  actions_[kSpotlightEllipse]->setChecked(spotlight_.on && round_);
  actions_[kSpotlightRectangle]->setChecked(spotlight_.on && !round_);
  actions_[kMask]->setChecked(mask_.on);
}

void Focus::Paint(QPainter& painter, const QTransform& toView, const QRectF& cell) const {
  if (spotlight_.on) {
    // Plain fills around the shape's box, whole pixels so that no pixel is
    // shaded twice; the box's corners outside a round shape come from a
    // picture drawn anew only when the box's size changes, not from an
    // antialiased path each frame.
    const QRect box = toView.mapRect(spotlight_.place).toRect();
    for (const QRect& band : QRegion(cell.toAlignedRect()).subtracted(box)) {
      FillInStrips(painter, band, kShade);
    }
    if (round_) {
      if (corners_.size() != box.size()) {
        corners_ = QImage(box.size(), QImage::Format_ARGB32_Premultiplied);
        corners_.fill(Qt::transparent);
        QPainter shape(&corners_);
        shape.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.addRect(corners_.rect());
        path.addEllipse(QRectF(corners_.rect()));
        shape.fillPath(path, kShade);
      }
      painter.drawImage(box.topLeft(), corners_);
    }
  }
  if (mask_.on) {
    FillInStrips(painter, toView.mapRect(mask_.place).toRect(), kPaper);
  }
  if (hovered_ != nullptr) {
    const QRectF shape = toView.mapRect(hovered_->place);
    painter.setPen(QPen(kPresenterAccent, 1));
    painter.setBrush(Qt::white);
    for (qreal x : {shape.left(), shape.center().x(), shape.right()}) {
      for (qreal y : {shape.top(), shape.center().y(), shape.bottom()}) {
        if (x != shape.center().x() || y != shape.center().y()) {
          painter.drawRect(QRectF(x - kHandlePx / 2, y - kHandlePx / 2, kHandlePx, kHandlePx));
        }
      }
    }
  }
}

bool Focus::eventFilter(QObject* watched, QEvent* event) {
  // Every event of the application passes here: the cheap tests first.
  const QEvent::Type type = event->type();
  if (type == QEvent::Leave && watched == &main_ && hovered_ != nullptr) {
    hovered_ = nullptr;  // the pointer has left: no handles
    Repaint();
    return false;
  }
  const bool pointer = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
                       type == QEvent::MouseMove || type == QEvent::MouseButtonRelease ||
                       type == QEvent::TouchBegin || type == QEvent::TouchUpdate ||
                       type == QEvent::TouchEnd || type == QEvent::TouchCancel;
  if (!pointer || !Active() || (watched != &main_ && watched != main_.View())) {
    return false;
  }
  if (type == QEvent::TouchCancel) {
    return Release();
  }
  // In half mode the picture control takes the input, in the large modes
  // the main window; both at the window's (0, 0).
  auto* widget = static_cast<QWidget*>(watched);
  auto* pointerEvent = static_cast<QPointerEvent*>(event);
  if (pointerEvent->pointCount() != 1) {
    // Two fingers are not a drag; a second finger ends one.
    return type == QEvent::TouchEnd && Release();
  }
  const QPointF at = widget->mapTo(&main_, pointerEvent->point(0).position());
  bool taken = false;
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      taken = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && Press(at);
      break;
    case QEvent::TouchBegin:
      taken = Press(at);
      break;
    case QEvent::MouseMove:
      taken = MoveTo(at, (static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton) != 0);
      break;
    case QEvent::TouchUpdate:
      taken = MoveTo(at, true);
      break;
    default:
      taken = Release();
  }
  if (taken) {
    event->accept();
  }
  return taken;
}

bool Focus::Press(QPointF at) {
  const std::optional<QTransform> toWindow = main_.View()->PictureToWindow();
  if (!toWindow) {
    return false;
  }
  int edges = 0;
  Shape* shape = ShapeAt(at, *toWindow, edges);
  if (shape == nullptr) {
    return false;  // the window's own: it moves
  }
  // With a drawing tool in hand, the pen writes inside the shape; its
  // edges still resize it.
  if (edges == 0 && actions_.ToolInHand()) {
    return false;
  }
  drag_ = Drag{shape, edges, at, toWindow->mapRect(shape->place), *toWindow};
  return true;
}

bool Focus::MoveTo(QPointF at, bool pressed) {
  if (drag_ && !pressed) {
    drag_.reset();  // its release went elsewhere: the shape stays where it is
  }
  if (!drag_) {
    const std::optional<QTransform> toWindow = main_.View()->PictureToWindow();
    int edges = 0;
    const Shape* over = toWindow && !pressed ? ShapeAt(at, *toWindow, edges) : nullptr;
    if (over != hovered_) {
      hovered_ = over;
      Repaint();
    }
    if (over != nullptr) {
      main_.setCursor(CursorFor(edges));
    } else {
      main_.unsetCursor();
    }
    return false;
  }
  // Worked out in window coordinates, where the edges are the ones the
  // user sees whatever the orientation, then taken back to the picture's.
  const QSize frame = main_.View()->Newest().Newest().picture.size();
  const QRectF bounds = drag_->toWindow.mapRect(QRectF(QPointF(0, 0), PictureSize(frame)));
  const QRectF start = drag_->start;
  const QPointF by = at - drag_->from;
  QRectF place = start;
  if (drag_->edges == 0) {
    place.moveLeft(Between(start.left() + by.x(), bounds.left(), bounds.right() - start.width()));
    place.moveTop(Between(start.top() + by.y(), bounds.top(), bounds.bottom() - start.height()));
  }
  if ((drag_->edges & kLeft) != 0) {
    place.setLeft(Between(start.left() + by.x(), bounds.left(), start.right() - kSmallestPx));
  }
  if ((drag_->edges & kRight) != 0) {
    place.setRight(Between(start.right() + by.x(), start.left() + kSmallestPx, bounds.right()));
  }
  if ((drag_->edges & kTop) != 0) {
    place.setTop(Between(start.top() + by.y(), bounds.top(), start.bottom() - kSmallestPx));
  }
  if ((drag_->edges & kBottom) != 0) {
    place.setBottom(Between(start.bottom() + by.y(), start.top() + kSmallestPx, bounds.bottom()));
  }
  drag_->shape->place = drag_->toWindow.inverted().mapRect(place);
  Repaint();
  return true;
}

bool Focus::Release() {
  return std::exchange(drag_, std::nullopt).has_value();
}

Focus::Shape* Focus::ShapeAt(QPointF at, const QTransform& toWindow, int& edges) {
  // The mask lies over the spotlight.
  for (Shape* shape : {&mask_, &spotlight_}) {
    if (!shape->on) {
      continue;
    }
    const QRectF place = toWindow.mapRect(shape->place);
    if (place.adjusted(-kGrabPx, -kGrabPx, kGrabPx, kGrabPx).contains(at)) {
      edges = EdgesAt(place, at);
      return shape;
    }
  }
  return nullptr;
}

void Focus::Repaint() {
  main_.View()->Stage().Changed();
}

}  // namespace rd420::viewer
