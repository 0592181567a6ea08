#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>

namespace rd420::viewer {

// The about box (dialog 419): the build time, a button that hides it, and
// dragging anywhere in it. It also owns the two 2000 ms timers that take the
// zoom (timer 1) and brightness (timer 2) values off the picture after their
// button is released. GUI thread only.
class AboutBox : public QWidget {
  Q_OBJECT

 public:
  AboutBox(std::atomic<uint32_t>& zoomOverlay, std::atomic<uint32_t>& brightnessOverlay,
           QWidget* owner, const QString& product, const QString& detail);

  static constexpr int kOverlayTimeoutMs = 2000;
  QTimer& ZoomTimer() { return zoomTimer_; }
  QTimer& BrightnessTimer() { return brightnessTimer_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QTimer zoomTimer_;
  QTimer brightnessTimer_;
};

// The splash (dialog 305): bitmap 306, 502 x 283, centred on the screen
// while the viewer starts. GUI thread only.
class SplashWindow : public QWidget {
 public:
  SplashWindow();
};

}  // namespace rd420::viewer
