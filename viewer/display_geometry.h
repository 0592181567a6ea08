#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace rd420::viewer {

// Where the display threads put the picture in the back buffer (and the
// window): 1:1 and half windows at (1, 1) in the frame's own size; full
// screen either 1:1 centred or scaled to the monitor keeping the aspect.
// All divisions truncate, as the window layout expects.
QRect DestinationRect(uint8_t displayMode, bool aspect43, QSize monitor, bool fullScreenScaled);

// Where the quick-save notice goes in the main window: five pixels into
// the picture, six in the half window; in full screen into the part of the
// picture the monitor shows.
QPoint NoticePosition(uint8_t displayMode, bool aspect43, QSize monitor, bool fullScreenScaled);

// How one display mode lays the main window out on a monitor (its full
// rectangle), in screen coordinates for the window and the panel and in
// window coordinates for the rest.
struct WindowLayout {
  QRect window;
  QSize picture;                                // the picture control 2055, at (0, 0)
  bool pictureShown;                            // the half window shows the picture in it
  bool buttonsShown;                            // full screen hides the right-hand column
  std::vector<std::pair<int, QPoint>> buttons;  // id and place, 17 x 17 each
  QPoint panel;                                 // where the control panel goes
  int seeThroughFrom;                           // x from which the main window is see-through
};

// `mode` is 2 (half), 1 (1:1) or 0x11 (full screen). `captionHeight` is the
// system's title bar height, which the 1:1 window's centring leaves for.
WindowLayout LayoutFor(uint8_t mode, bool aspect43, QRect monitor, int captionHeight);

// The monitor the layouts and the display threads go by: measured on the
// GUI thread at each mode request, read by the display threads.
class MonitorSnapshot {
 public:
  explicit MonitorSnapshot(QRect monitor) : monitor_(monitor) {}
  void Set(QRect monitor) {
    std::lock_guard lock(mutex_);
    monitor_ = monitor;
  }
  QRect Get() const {
    std::lock_guard lock(mutex_);
    return monitor_;
  }

 private:
  mutable std::mutex mutex_;
  QRect monitor_;
};

}  // namespace rd420::viewer
