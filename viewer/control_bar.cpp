#include "viewer/control_bar.h"

#include <QMouseEvent>
#include <algorithm>
#include <cstdlib>

namespace rd420::viewer {

ControlBar::ControlBar(std::function<void(bool)> show, std::function<uint32_t()> delayMs)
    : show_(std::move(show)), delayMs_(std::move(delayMs)) {
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { SetVisible(false); });
}

void ControlBar::SetVisible(bool visible) {
  g_Bar_Visible = visible ? 1 : 0;
  show_(visible);
}

void ControlBar::RestartTimer() {
  timer_.stop();
  if (const uint32_t delay = delayMs_(); delay != 0) {
    timer_.start(static_cast<int>(std::min<uint32_t>(delay, INT32_MAX)));
  }
}

void ControlBar::TrackMouse(const QMouseEvent& event, bool largeMode) {
  const QPoint position = event.globalPosition().toPoint();
  if (event.type() == QEvent::MouseMove) {
    const QPoint moved = position - lastMouse_;
    if (largeMode && (std::abs(moved.x()) > 1 || std::abs(moved.y()) > 1)) {
      SetVisible(true);
      RestartTimer();
    }
  } else if (largeMode && event.button() == Qt::LeftButton) {
    SetVisible(true);
    if (event.type() == QEvent::MouseButtonPress) {
      timer_.stop();  // the bar stays while the button is held
    } else {
      RestartTimer();
    }
  }
  lastMouse_ = position;
}

}  // namespace rd420::viewer
