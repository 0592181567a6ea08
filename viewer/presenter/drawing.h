#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "viewer/picture_stage.h"

namespace rd420::viewer {

enum class MarkKind { kPen, kHighlighter, kLine, kArrow, kRectangle, kEllipse, kText };

// One mark on the picture, in picture coordinates (see PictureSize), so it
// stays on its place of the page in every mode and orientation.
struct Mark {
  MarkKind kind = MarkKind::kPen;
  QColor colour = Qt::red;
  int widthStep = 1;  // 0 thin .. 2 thick; a text label's size
  // Freehand: every point; line and arrow: from, to; rectangle and
  // ellipse: two opposite corners; text: its top left.
  std::vector<QPointF> points;
  QString text;
};

// The drawing over the live picture: its marks and the history of what
// was done to them, and the layer that paints them. Undo and redo touch
// only the marks of one step, so they stay quick however large the
// drawing is; a live frame only lays an image of the marks over itself.
// Thread-bound: the GUI thread.
class Drawing : public PictureLayer {
 public:
  // The width of a stroke of `widthStep`, as a fraction of the picture's
  // width.
  static qreal StrokeWidth(MarkKind kind, int widthStep);

  void Add(Mark mark);
  // The mark being drawn: shown, not yet in the history; nullopt ends it.
  void SetPending(std::optional<Mark> mark);
  // Erases the shown marks within `radius` of `at`. `sameGesture` adds
  // them to the step of the last erase, so one pass undoes at once.
  // `toView` is where the picture is shown, which text labels, upright on
  // the screen, are judged by. Returns how many it erased.
  int EraseAt(QPointF at, qreal radius, bool sameGesture, const QTransform& toView);
  void Clear();
  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < steps_.size(); }
  void Undo();
  void Redo();
  // How many marks show.
  int Shown() const { return shown_; }

  void Paint(QPainter& painter, const QTransform& toView, const QRectF& cell) const override;
  bool Empty() const override { return shown_ == 0 && !pending_; }

  // Asked after each change that shows.
  std::function<void()> changed;

 private:
  // A mark with what painting and erasing it needs, made once.
  struct Entry {
    Mark mark;
    QPainterPath path;  // strokes; empty for text
    QRectF bounds;      // with the stroke's width or the text's box
    bool shown = true;
  };
  struct Step {
    enum Kind { kAdd, kErase, kClear } kind;
    std::vector<size_t> marks;  // indices into entries_
  };

  // The shown marks as painted at one place of the view, kept between
  // frames: painting every mark anew for each live frame would cost
  // milliseconds. A change paints again only the part it touches.
  struct Cache {
    QImage image;  // premultiplied; transparent where there is no mark
    QTransform toDevice;
    QRect area;  // where the image goes on the device
    // The part of the image the shown marks may touch: a frame draws only
    // that, often a small part of the picture.
    QRect ink;
  };

  static Entry Made(Mark mark);
  static bool Hits(const Entry& entry, QPointF at, qreal radius, const QTransform& toView);
  // Where painting `entry` may touch, in picture coordinates (a text label
  // stays upright, so it may reach any way from its anchor).
  static QRectF Reach(const Entry& entry);
  static void PaintEntry(QPainter& painter, const Entry& entry, const QTransform& toDevice);
  // Paints again what changed since the last time, or all of it.
  void Refresh() const;
  // Records a step, dropping the undone ones and the marks only they made.
  void Push(Step step);
  void Show(const Step& step, bool forward);
  void SetShown(size_t index, bool shown);
  void Changed() const;

  std::vector<Entry> entries_;
  std::vector<Step> steps_;
  size_t done_ = 0;  // steps_[0, done_) are in effect
  int shown_ = 0;
  std::optional<Entry> pending_;
  mutable Cache cache_;
  mutable QRectF dirty_;  // picture coordinates
  mutable bool dirtyAll_ = true;
};

}  // namespace rd420::viewer
