#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <optional>

#include "devlink/camera_status.h"
#include "devlink/stream_flags.h"
#include "devlink/stream_host.h"
#include "viewer/display_geometry.h"
#include "viewer/main_window.h"

namespace rd420::viewer {

// The value drawn over the picture while a zoom or brightness button is
// held (zoom first), or nothing.
struct OverlayText {
  QString text;
  QColor colour;
};
std::optional<OverlayText> CurrentOverlay(const StreamControls& controls,
                                          const CameraStatus& status);

// Draws each converted frame into the back buffer (a picture as large as
// the monitor) at the display mode's place, writes the overlay value over
// it and hands that part to the picture control on the GUI thread. Used by
// the display threads, one at a time (the draw turns order them); never
// touches a widget itself.
class FramePainter {
 public:
  FramePainter(const StreamFlags& flags, const StreamControls& controls, const CameraStatus& status,
               PictureView* view, const MonitorSnapshot& monitor,
               const std::atomic<bool>& fullScreenScaled);

  void Paint(const DisplayedFrame& frame);

 private:
  const StreamFlags& flags_;
  const StreamControls& controls_;
  const CameraStatus& status_;
  PictureView* view_;  // outlives the display threads
  const MonitorSnapshot& monitor_;
  const std::atomic<bool>& fullScreenScaled_;
  QImage backBuffer_;  // made by the first frame, grown for a larger monitor
};

}  // namespace rd420::viewer
