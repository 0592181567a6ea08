#pragma once

#include <QImage>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

#include "viewer/frame_painter.h"
#include "viewer/skin_button.h"

namespace rd420::viewer {

// The picture control (2055): holds the newest frame the display threads
// handed over and the quick-save notice over a held picture. In the half
// layout it paints them itself; in the large layouts it is hidden and the
// main window paints them straight onto itself. GUI thread only, but for
// Newest(), which the display threads fill.
class PictureView : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent);

  NewestFrame& Newest() { return newest_; }
  // How the live picture is shown: turned, shared, drawn over.
  PictureStage& Stage() { return stage_; }
  // Takes picture coordinates to the main window's for the newest frame;
  // nullopt before the first.
  std::optional<QTransform> PictureToWindow() const;
  // Repaints with the newest frame; asked once per frame or run of frames.
  void ShowNewest();
  void SetNotice(const QString& text, QPoint position);
  // The shown part of the newest frame as it is drawn, drawn anew.
  QImage Picture() const;
  QString Notice() const { return notice_; }
  // Where the notice's top left goes, in the main window's coordinates.
  QPoint NoticePosition() const { return noticePosition_; }
  int PicturesShown() const { return picturesShown_; }
  // Draws the picture and the notice; `offset` takes main-window
  // coordinates to the painter's.
  void Draw(QPainter& painter, QPoint offset);
  // For benchmarks: called as a frame is first drawn, with when its last
  // byte was read.
  std::function<void(std::chrono::steady_clock::time_point)> framePainted;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Repaints wherever the picture is shown now.
  void Repaint();

  NewestFrame newest_;
  PictureStage stage_;
  std::chrono::steady_clock::time_point lastPainted_;  // the last frame's read end
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
