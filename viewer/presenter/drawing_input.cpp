#include "viewer/presenter/drawing_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabletEvent>
#include <QTouchEvent>
#include <QWindow>
#include <cmath>

#include "viewer/presenter/presenter_style.h"

namespace rd420::viewer {
namespace {

using enum PresenterAction;

// The eraser's reach and the smallest step a freehand stroke records, as
// fractions of the picture's width.
constexpr qreal kEraserRadius = 0.012;
constexpr qreal kMinStep = 0.0008;

constexpr PresenterAction kMarkTools[] = {kPen,       kHighlighter, kLine, kArrow,
                                          kRectangle, kEllipse,     kText};

class KeyFilter : public QObject {
 public:
  explicit KeyFilter(std::function<bool(QObject*, QEvent*)> filter) : filter_(std::move(filter)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override { return filter_(watched, event); }

 private:
  std::function<bool(QObject*, QEvent*)> filter_;
};

}  // namespace

DrawingInput::DrawingInput(MainWindow& main, const PresenterActions& actions)
    : main_(main), actions_(actions) {
  for (QWidget* target : {static_cast<QWidget*>(&main_), static_cast<QWidget*>(main_.View())}) {
    target->setAttribute(Qt::WA_AcceptTouchEvents);
    target->installEventFilter(this);
  }
  drawing_.changed = [this] {
    main_.View()->Stage().Changed();
    UpdateActions();
  };
  connect(actions_[kUndo], &QAction::triggered, this, [this] { drawing_.Undo(); });
  connect(actions_[kRedo], &QAction::triggered, this, [this] { drawing_.Redo(); });
  connect(actions_[kClear], &QAction::triggered, this, [this] { drawing_.Clear(); });
  // Another tool, or none, drops a label still being typed.
  connect(actions_[kText], &QAction::toggled, this, [this](bool on) {
    if (!on) {
      CloseLabel(false);
    }
  });
  UpdateActions();
}

void DrawingInput::UpdateActions() {
  actions_[kUndo]->setEnabled(drawing_.CanUndo());
  actions_[kRedo]->setEnabled(drawing_.CanRedo());
  actions_[kClear]->setEnabled(drawing_.Shown() > 0);
}

std::optional<QPointF> DrawingInput::ToPicture(QPointF atWindow, bool inside) const {
  const std::optional<QTransform> toWindow = main_.View()->PictureToWindow();
  if (!toWindow || !toWindow->isInvertible()) {
    return std::nullopt;
  }
  const QPointF at = toWindow->inverted().map(atWindow);
  const QSizeF picture = PictureSize(main_.View()->Newest().Newest().picture.size());
  if (inside && !QRectF(QPointF(0, 0), picture).contains(at)) {
    return std::nullopt;
  }
  return at;
}

bool DrawingInput::Handle(Phase phase, QPointF atWindow) {
  if (phase == Phase::kBegin) {
    const bool erasing = actions_[kEraser]->isChecked();
    std::optional<MarkKind> kind;
    for (size_t i = 0; i < std::size(kMarkTools); ++i) {
      if (actions_[kMarkTools[i]]->isChecked()) {
        kind = static_cast<MarkKind>(i);
      }
    }
    if (!kind && !erasing) {
      return false;
    }
    const std::optional<QPointF> at = ToPicture(atWindow, true);
    if (!at) {
      return false;
    }
    active_ = true;
    erasedInGesture_ = false;
    eraserAt_.reset();
    stroke_.reset();
    if (erasing) {
      EraseTo(*at);
    } else if (kind == MarkKind::kText) {
      active_ = false;
      OpenLabel(atWindow, *at);
    } else {
      stroke_ = Mark{*kind, actions_.Colour(), actions_.WidthStep(), {*at}, {}};
      drawing_.SetPending(stroke_);
    }
    return true;
  }
  if (!active_) {
    return false;
  }
  if (const std::optional<QPointF> at = ToPicture(atWindow, false)) {
    if (eraserAt_) {
      EraseTo(*at);
    } else if (stroke_) {
      std::vector<QPointF>& points = stroke_->points;
      const bool freehand =
          stroke_->kind == MarkKind::kPen || stroke_->kind == MarkKind::kHighlighter;
      if (freehand) {
        const QPointF step = *at - points.back();
        if (std::hypot(step.x(), step.y()) >= kMinStep) {
          points.push_back(*at);
        }
      } else {
        points.resize(1);
        points.push_back(*at);
      }
      if (phase == Phase::kContinue) {
        drawing_.SetPending(stroke_);
      }
    }
  }
  if (phase == Phase::kEnd) {
    active_ = false;
    eraserAt_.reset();
    if (stroke_) {
      Mark mark = std::move(*stroke_);
      stroke_.reset();
      drawing_.SetPending(std::nullopt);
      // A shape needs two distinct corners; a freehand dot is a mark.
      const bool freehand = mark.kind == MarkKind::kPen || mark.kind == MarkKind::kHighlighter;
      if (freehand || (mark.points.size() == 2 && mark.points[0] != mark.points[1])) {
        drawing_.Add(std::move(mark));
      }
    }
  }
  return true;
}

void DrawingInput::EraseTo(QPointF at) {
  const std::optional<QTransform> toWindow = main_.View()->PictureToWindow();
  if (!toWindow) {
    return;
  }
  // Steps no longer than the eraser's reach, so a quick pass misses none.
  const QPointF from = eraserAt_.value_or(at);
  const QPointF span = at - from;
  const int steps =
      std::max(1, static_cast<int>(std::ceil(std::hypot(span.x(), span.y()) / kEraserRadius)));
  for (int i = 1; i <= steps; ++i) {
    if (drawing_.EraseAt(from + span * (static_cast<qreal>(i) / steps), kEraserRadius,
                         erasedInGesture_, *toWindow) > 0) {
      erasedInGesture_ = true;
    }
  }
  eraserAt_ = at;
}

void DrawingInput::OpenLabel(QPointF atWindow, QPointF anchor) {
  CloseLabel(true);  // a press elsewhere puts the last label on first
  labelAnchor_ = anchor;
  label_ = new QLineEdit(&main_);
  label_->setObjectName(QStringLiteral("presenter.label"));
  label_->setStyleSheet(QString::fromLatin1(kPresenterStyle));
  label_->setMinimumWidth(160);
  label_->move(atWindow.toPoint());
  label_->show();
  label_->raise();
  label_->setFocus();
  labelKeys_ = std::make_unique<KeyFilter>(
      [this](QObject* watched, QEvent* event) { return LabelKey(watched, event); });
  qApp->installEventFilter(labelKeys_.get());
}

bool DrawingInput::LabelKey(QObject* watched, QEvent* event) {
  const bool override = event->type() == QEvent::ShortcutOverride;
  if ((event->type() != QEvent::KeyPress && !override) || label_ == nullptr) {
    return false;
  }
  const bool toLabel = watched == label_ || (watched == main_.windowHandle() && label_->hasFocus());
  const auto* key = static_cast<QKeyEvent*>(event);
  // With a modifier (Alt+Enter) the key stays the viewer's.
  if (!toLabel || (key->modifiers() & ~Qt::KeypadModifier) != 0) {
    return false;
  }
  if (override) {
    // The label's keys are its own, not the tools' shortcuts (Esc).
    const bool own = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                     key->key() == Qt::Key_Escape || key->key() == Qt::Key_Space;
    if (own) {
      event->accept();
    }
    return own;
  }
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      CloseLabel(true);
      return true;
    case Qt::Key_Escape:
      CloseLabel(false);
      return true;
    case Qt::Key_Space:
      label_->insert(QStringLiteral(" "));
      return true;
    default:
      return false;
  }
}

void DrawingInput::CloseLabel(bool commit) {
  if (label_ == nullptr) {
    return;
  }
  if (labelKeys_) {
    qApp->removeEventFilter(labelKeys_.get());
  }
  const QString text = label_->text().trimmed();
  label_->hide();
  label_->deleteLater();
  label_.clear();
  if (commit && !text.isEmpty()) {
    drawing_.Add(
        Mark{MarkKind::kText, actions_.Colour(), actions_.WidthStep(), {labelAnchor_}, text});
  }
}

bool DrawingInput::eventFilter(QObject* watched, QEvent* event) {
  // The picture control sits at the main window's top left.
  const QPointF offset = watched == main_.View() ? QPointF(main_.View()->pos()) : QPointF();
  Phase phase;
  QPointF at;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (event->type() != QEvent::MouseMove && mouse->button() != Qt::LeftButton) {
        return false;
      }
      phase = event->type() == QEvent::MouseMove            ? Phase::kContinue
              : event->type() == QEvent::MouseButtonRelease ? Phase::kEnd
                                                            : Phase::kBegin;
      // A release that went elsewhere (a message box took the mouse) ends
      // the stroke at the next move rather than drawing on with the hover.
      if (phase == Phase::kContinue && (mouse->buttons() & Qt::LeftButton) == 0) {
        if (!active_) {
          return false;
        }
        phase = Phase::kEnd;
      }
      at = mouse->position();
      break;
    }
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      phase = event->type() == QEvent::TabletPress  ? Phase::kBegin
              : event->type() == QEvent::TabletMove ? Phase::kContinue
                                                    : Phase::kEnd;
      at = static_cast<QTabletEvent*>(event)->position();
      break;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
      const auto* touch = static_cast<QTouchEvent*>(event);
      if (touch->points().isEmpty()) {
        return false;
      }
      phase = event->type() == QEvent::TouchBegin    ? Phase::kBegin
              : event->type() == QEvent::TouchUpdate ? Phase::kContinue
                                                     : Phase::kEnd;
      at = touch->points().first().position();
      break;
    }
    case QEvent::TouchCancel:
      active_ = false;
      stroke_.reset();
      drawing_.SetPending(std::nullopt);
      return true;
    default:
      return false;
  }
  if (!Handle(phase, at + offset)) {
    return false;
  }
  event->accept();
  return true;
}

}  // namespace rd420::viewer
