#include "viewer/display_geometry.h"

#include "devlink/frame_format.h"

namespace rd420::viewer {

QRect DestinationRect(uint8_t displayMode, bool aspect43, QSize monitor, bool fullScreenScaled) {
  const int frameHeight = aspect43 ? 960 : 720;
  if (displayMode != kModeFullScreen) {
    const Resolution resolution = ResolutionForMode(displayMode);
    const FrameGeometry frame = FrameGeometryFor(aspect43, resolution);
    return {1, 1, frame.width, frame.height};
  }
  const int mw = monitor.width();
  const int mh = monitor.height();
  if (!fullScreenScaled) {
    return {(mw - 1280) / 2, (mh - frameHeight) / 2, 1280, frameHeight};
  }
  if (!aspect43) {
    return {0, (mh - mw * 9 / 16) / 2, mw, mw * 9 / 16};
  }
  const double ratio = static_cast<double>(mw) / mh;
  if (ratio >= 1.4) {
    return {(mw - 4 * mh / 3) / 2, 0, (mh / 3) * 4, mh};
  }
  if (ratio > 1.3) {
    return {(mw - 4 * mh / 3) / 2, (mh - 3 * mw / 4) / 2, 4 * mh / 3, 3 * mw / 4};
  }
  return {0, (mh - 3 * mw / 4) / 2, mw, 3 * mw / 4};
}

}  // namespace rd420::viewer
