#pragma once

#include <QRect>
#include <QTimer>
#include <cstdint>

#include "devlink/camera_status.h"
#include "devlink/stream_pipeline.h"
#include "viewer/control_bar.h"
#include "viewer/display_geometry.h"
#include "viewer/viewer_settings.h"

class QMouseEvent;

namespace rd420::viewer {

class MainWindow;
class ControlPanel;

// The display modes: their requests, their layouts, the main window's
// z-order, the monitor it stands on, and the full-screen bar with the
// mouse that shows it. Thread-bound: the GUI thread, but for Monitor() and
// LargeMode().
class DisplayModes {
 public:
  // `ended` is the viewer's ending: nothing is acted on once it is set.
  // `oneToOneRefused` is the message for a monitor too narrow for 1:1.
  DisplayModes(const CameraStatus& status, const StoredSettings& settings,
               const char* oneToOneRefused, const bool& ended);

  // The windows and the pipeline, once built; nothing else is called before.
  void Attach(MainWindow& main, ControlPanel& panel, StreamPipeline& pipeline);

  // The full-screen button and Alt+Enter, the 1:1 toggle, and half mode:
  // `byButton` for the control bar's half button and the toggle (they also
  // disable Cap), false for Esc in live view.
  void RequestFullScreen();
  void ToggleOneToOne();
  void RequestHalf(bool byButton);
  void ApplyLayout(uint8_t mode);
  void ApplyTopMost();
  // The monitor that holds most of the main window, noted for the painter.
  QRect MeasureMonitor();
  // Any thread: the monitor last measured.
  MonitorSnapshot& Monitor() { return monitor_; }

  // Any thread: whether the display mode is a large one (1:1 or full
  // screen), whatever the layout shows yet.
  bool LargeMode() const { return (pipeline_->Flags().g_Display_Mode & 0x0F) == 0x01; }
  bool Large() const { return g_Layout_Large != 0; }
  bool FullScreen() const { return g_Layout_FullScreen != 0; }
  int HalfToggle() const { return g_Half_Toggle; }

  // A mouse move, press or release in the viewer's windows.
  void TrackMouse(const QMouseEvent& event);
  // The panel closed by its own button.
  void PanelClosed();
  void StopBarTimer() { bar_.StopTimer(); }
  // Timer 1: hides the full-screen control bar.
  QTimer& BarTimer() { return bar_.Timer(); }

 private:
  const CameraStatus& status_;
  const StoredSettings& settings_;
  const char* const oneToOneRefused_;
  const bool& ended_;
  MainWindow* main_ = nullptr;
  ControlPanel* panel_ = nullptr;
  StreamPipeline* pipeline_ = nullptr;
  MonitorSnapshot monitor_{QRect()};
  int g_Half_Toggle = 1;
  int g_Layout_Large = 0;
  int g_Layout_FullScreen = 0;
  ControlBar bar_;
};

}  // namespace rd420::viewer
