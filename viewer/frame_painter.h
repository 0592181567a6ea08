#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <atomic>
#include <chrono>
#include <optional>

#include "devlink/camera_status.h"
#include "devlink/stream_flags.h"
#include "devlink/stream_host.h"
#include "platform/newest_picture.h"
#include "viewer/display_geometry.h"
#include "viewer/picture_stage.h"

namespace rd420::viewer {

class PictureView;

// The value drawn over the picture while a zoom or brightness button is
// held (zoom first), or nothing.
struct OverlayText {
  QString text;
  QColor colour;
};
std::optional<OverlayText> CurrentOverlay(const StreamControls& controls,
                                          const CameraStatus& status);

// Where a frame goes in the main window, as its display thread found it
// then: the display mode's rectangle, the part of it shown, the value over
// it, and when the frame's last byte was read.
struct FramePlacement {
  QRect target;
  QRect shown;
  std::optional<OverlayText> overlay;
  std::chrono::steady_clock::time_point readEnd;
};
using NewestFrame = NewestPicture<FramePlacement>;

// Draws `frame` into its place as `stage` shows it, and the value over it;
// `offset` takes main-window coordinates to the painter's. GUI thread.
void DrawNewestFrame(QPainter& painter, const NewestFrame::Entry& frame, QPoint offset,
                     const PictureStage& stage);

// Hands each converted frame to the picture control as its newest, placed
// for the display mode, and asks the control to repaint when no request is
// pending. Used by the display threads, one at a time (the draw turns order
// them); never touches a widget itself.
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
};

}  // namespace rd420::viewer
