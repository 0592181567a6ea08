#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "viewer/skin_button.h"

namespace rd420::viewer {

// The picture control (2055): holds the latest picture the display threads
// handed over and the quick-save notice over a held picture. In the half
// layout it paints them itself; in the large layouts it is hidden and the
// main window paints them straight onto itself. GUI thread only.
class PictureView : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent);

  // `picture` goes at `origin` in the main window's coordinates.
  void ShowPicture(const QImage& picture, QPoint origin);
  void SetNotice(const QString& text, QPoint position);
  const QImage& Picture() const { return picture_; }
  QString Notice() const { return notice_; }
  // Where the notice's top left goes, in the main window's coordinates.
  QPoint NoticePosition() const { return noticePosition_; }
  int PicturesShown() const { return picturesShown_; }
  // Draws the picture and the notice; `offset` takes main-window
  // coordinates to the painter's.
  void Draw(QPainter& painter, QPoint offset) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Repaints wherever the picture is shown now.
  void Repaint();

  QImage picture_;
  QPoint origin_;
  QString notice_;
  QPoint noticePosition_;
  int picturesShown_ = 0;
};

// The main window (dialog 129): borderless and black, the picture on the
// left and the column of eleven 17 x 17 buttons on a see-through strip on
// the right. GUI thread only.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(bool aspect43);

  PictureView* View() const { return view_; }
  SkinButton* Button(int id) const { return FindButton(this, id); }
  // Columns from `x` on show what lies behind the window.
  void SetSeeThroughFrom(int x);
  int SeeThroughFrom() const { return seeThroughFrom_; }
  // Whether a left press at this point starts moving the window.
  std::function<bool(QPoint)> dragArea;

 signals:
  // The window manager's close, which behaves like the exit button.
  void closeRequested();
  void moved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  PictureView* view_;
  int seeThroughFrom_ = 640;
};

}  // namespace rd420::viewer
