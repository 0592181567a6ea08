#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QTransform>
#include <functional>
#include <vector>

namespace rd420::viewer {

// How the shown picture is turned: clockwise quarter turns (0..3), then
// mirrored left-right.
struct Orientation {
  int quarterTurns = 0;
  bool mirrored = false;

  bool operator==(const Orientation&) const = default;
};

// Picture coordinates: the camera frame's top left is (0, 0) and its width
// is 1, whatever the resolution of the mode, so what is put on the page
// stays on the same place of it in every mode. The height is the frame's
// height over its width.
QSizeF PictureSize(QSize framePixels);

// Takes picture coordinates to the view's: the picture turned by
// `orientation` and put in `cell`, stretched to it when upright or upside
// down (the cell has the picture's proportion), fitted and centred when
// turned a quarter.
QTransform PictureToView(QSizeF picture, Orientation orientation, const QRectF& cell);

// `picture` (a still or a frame, upright) turned as `orientation` says.
QImage Oriented(const QImage& picture, Orientation orientation);

// Something drawn over the live picture, placed in picture coordinates
// (drawings, spotlight, mask). GUI thread.
class PictureLayer {
 public:
  virtual ~PictureLayer() = default;
  // `toView` takes picture coordinates to the painter's; `cell` is the live
  // picture's rectangle there, which the painter is clipped to.
  virtual void Paint(QPainter& painter, const QTransform& toView, const QRectF& cell) const = 0;
  // Nothing to paint.
  virtual bool Empty() const { return false; }
};

// Shares the picture's area between the live picture and something else
// (stills held up to compare). GUI thread.
class StageArrangement {
 public:
  virtual ~StageArrangement() = default;
  // The live picture's cell in `area`.
  virtual QRectF LiveCell(const QRectF& area) const = 0;
  // Paints the rest of `area`, the live cell left alone.
  virtual void Paint(QPainter& painter, const QRectF& area, Orientation orientation) const = 0;
};

// How the live picture is shown in the mode's rectangle: turned, shared
// with an arrangement and with layers over it. The picture control keeps
// one; the parts that change it ask for a repaint through `changed`. GUI
// thread only.
class PictureStage {
 public:
  Orientation GetOrientation() const { return orientation_; }
  void SetOrientation(Orientation orientation);
  // Painted in the order added, over the live picture.
  void AddLayer(const PictureLayer* layer);
  // Takes away the layers and the arrangement: their owner is going.
  void Clear();
  // Null: the live picture alone.
  void SetArrangement(const StageArrangement* arrangement);
  const StageArrangement* Arrangement() const { return arrangement_; }

  // The live picture's cell in `area` and the map of picture coordinates
  // to the view for a frame of `framePixels`.
  QRectF LiveCell(const QRectF& area) const;
  QTransform LiveTransform(QSize framePixels, const QRectF& area) const;
  // Draws `frame` and all that goes with it into `area`.
  void Draw(QPainter& painter, const QImage& frame, const QRectF& area) const;

  // Asked after each change that shows.
  std::function<void()> changed;
  // Asks for it: also for a change inside a layer or the arrangement.
  void Changed() const;

 private:
  Orientation orientation_;
  std::vector<const PictureLayer*> layers_;
  const StageArrangement* arrangement_ = nullptr;
};

}  // namespace rd420::viewer
