#pragma once

#include <QPoint>
#include <QTimer>
#include <cstdint>
#include <functional>

class QMouseEvent;

namespace rd420::viewer {

// The full-screen control bar's auto-hide: shown when the mouse moves or
// its left button goes down or up in a large mode, hidden by timer 1 the
// settings' DelayTime after the last of them (never with 0), kept while
// the button is held. Thread-bound: the GUI thread.
class ControlBar {
 public:
  // `show` shows or hides the bar where the layout has one; `delayMs`
  // reads DelayTime when the timer starts.
  ControlBar(std::function<void(bool)> show, std::function<uint32_t()> delayMs);

  void SetVisible(bool visible);
  void RestartTimer();
  void StopTimer() { timer_.stop(); }
  // A mouse move, press or release anywhere in the viewer's windows.
  void TrackMouse(const QMouseEvent& event, bool largeMode);
  // The panel closed by its own button in a large mode: the bar counts as
  // shown again, for the next layout.
  void MarkVisible() { g_Bar_Visible = 1; }
  QTimer& Timer() { return timer_; }

 private:
  const std::function<void(bool)> show_;
  const std::function<uint32_t()> delayMs_;
  int g_Bar_Visible = 1;
  QTimer timer_;
  QPoint lastMouse_;
};

}  // namespace rd420::viewer
