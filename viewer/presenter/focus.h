#pragma once

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <optional>

#include "viewer/picture_stage.h"
#include "viewer/presenter/presenter_actions.h"

namespace rd420::viewer {

class MainWindow;

// Spotlight and mask over the live picture: the spotlight darkens all but
// a round or square shape, the mask covers a rectangle with a sheet of
// paper. Both can be on at once (a question lit, its answer covered), each
// with a shape of its own in picture coordinates, so they follow the
// picture in every display mode and orientation. The pointer moves a shape
// from inside it and resizes it from its edges and corners. Thread-bound:
// the GUI thread.
class Focus : public QObject, public PictureLayer {
  Q_OBJECT

 public:
  // Added to `main`'s stage, which outlives it; takes the pointer's events
  // over the picture before the window does.
  Focus(MainWindow& main, const PresenterActions& actions);
  ~Focus() override;

  // Spotlight or mask is on: Esc leaves them.
  bool Active() const { return spotlight_.on || mask_.on; }
  // Their shapes in picture coordinates while on.
  std::optional<QRectF> Spotlight() const;
  std::optional<QRectF> Mask() const;
  // Both off.
  void Leave();

  void Paint(QPainter& painter, const QTransform& toView, const QRectF& cell) const override;
  bool Empty() const override { return !Active(); }

 signals:
  void activeChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Shape {
    bool on = false;
    QRectF place;  // picture coordinates
  };
  // A press on a shape: which one, and what of it follows the pointer.
  struct Drag {
    Shape* shape;
    int edges;            // Edge bits; none: the whole shape moves
    QPointF from;         // the press, in window coordinates
    QRectF start;         // the shape then, in window coordinates
    QTransform toWindow;  // picture to window then
  };

  void Toggle(Shape& shape, bool on);
  void SetSpotlight(bool on, bool round);
  void Sync();
  // Pointer input in the main window's coordinates; true when taken.
  bool Press(QPointF at);
  bool MoveTo(QPointF at, bool pressed);
  bool Release();
  // The topmost shape under `at`, and which of its edges are there.
  Shape* ShapeAt(QPointF at, const QTransform& toWindow, int& edges);
  void Repaint();

  MainWindow& main_;
  const PresenterActions& actions_;
  Shape spotlight_;
  bool round_ = true;
  Shape mask_;
  std::optional<Drag> drag_;
  const Shape* hovered_ = nullptr;
  // The shade of the corners of a round spotlight's box, at its size.
  mutable QImage corners_;
};

}  // namespace rd420::viewer
