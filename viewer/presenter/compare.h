#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "viewer/picture_stage.h"
#include "viewer/presenter/presenter_actions.h"

class QLabel;
class QToolButton;

namespace rd420::viewer {

class MainWindow;

enum class CompareLayout { kSideBySide, kFour };

// The cells of `area` that the live picture and the stills share, live
// first: two side by side, or 2 x 2 (then top right, bottom left, bottom
// right); each the largest at the proportion `shown` centred in its part.
std::vector<QRectF> CompareCells(const QRectF& area, QSizeF shown, CompareLayout layout);

// Stills of this session held up beside the live picture: the newest four
// held are kept and shown as thumbnails in a strip window; a
// click brings one in beside the live picture or takes it out again. One
// still shares the area side by side, more (or the 2 x 2 action) in 2 x 2.
// Thread-bound: the GUI thread.
class Compare : public QObject, public StageArrangement {
  Q_OBJECT

 public:
  // Shares `main`'s picture, which outlives it.
  Compare(MainWindow& main, const PresenterActions& actions);
  ~Compare() override;

  // The strip is open: Esc closes it and takes the stills out.
  bool Active() const { return on_; }
  QWidget* Strip() const { return strip_.get(); }
  // Takes still `index` (0 the oldest kept) in or out.
  void Toggle(int index);
  void Leave();
  // A still held: kept, the oldest dropped after four.
  void Keep(const QImage& still);

  QRectF LiveCell(const QRectF& area) const override;
  void Paint(QPainter& painter, const QRectF& area, Orientation orientation) const override;

 signals:
  void activeChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Still {
    QImage picture;  // upright, as the camera took it
    int serial;
    QPixmap thumbnail;
    // Turned and scaled to its cell when it was last painted: a new scale
    // only when the cell or the orientation changes.
    mutable QImage scaled;
    mutable Orientation scaledFor;
  };
  static constexpr size_t kKept = 4;
  static constexpr size_t kMostShown = 3;

  void Open(bool four);
  CompareLayout Layout() const;
  std::vector<QRectF> Cells(const QRectF& area) const;
  // Puts the arrangement on the stage or takes it off, and the strip and
  // the actions in step.
  void Arrange();
  void BuildStrip();

  MainWindow& main_;
  const PresenterActions& actions_;
  std::deque<Still> stills_;  // the oldest first
  std::vector<int> shown_;    // serials, in the order brought in
  int nextSerial_ = 0;
  bool on_ = false;
  bool four_ = false;
  std::unique_ptr<QWidget> strip_;
  QLabel* empty_ = nullptr;
  std::array<QToolButton*, kKept> thumbnails_{};
};

}  // namespace rd420::viewer
