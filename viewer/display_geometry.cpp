#include "viewer/display_geometry.h"

#include "viewer/control_ids.h"
#include "wire/frame_format.h"

namespace rd420::viewer {
namespace {

// The upper six buttons keep their rows in the half and 1:1 layouts.
constexpr std::pair<int, int> kUpperRows[] = {{kIdExit, 3},      {kIdFullScreen, 21},
                                              {kIdOneToOne, 39}, {kIdOptions, 57},
                                              {kIdMinimise, 75}, {kIdAbout, 93}};
// The lower five, from the top, start 92 rows above the picture's bottom.
constexpr int kLowerIds[] = {kIdMainZoomIn, kIdMainZoomOut, kIdMainAutoFocus, kIdQuickSave,
                             kIdOpenPanel};

void PlaceButtons(WindowLayout& layout, int upperX, int lowerX, int lowerTop) {
  for (const auto& [id, y] : kUpperRows) {
    layout.buttons.emplace_back(id, QPoint(upperX, y));
  }
  for (int i = 0; i < 5; ++i) {
    layout.buttons.emplace_back(kLowerIds[i], QPoint(lowerX, lowerTop + 18 * i));
  }
}

}  // namespace

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

QPoint NoticePosition(uint8_t displayMode, bool aspect43, QSize monitor, bool fullScreenScaled) {
  if (displayMode == kModeHalf) {
    return {6, 6};
  }
  if (displayMode != kModeFullScreen) {
    return {5, 5};
  }
  const QRect seen = DestinationRect(displayMode, aspect43, monitor, fullScreenScaled) &
                     QRect(QPoint(0, 0), monitor);
  return seen.topLeft() + QPoint(5, 5);
}

WindowLayout LayoutFor(uint8_t mode, bool aspect43, QRect monitor, int captionHeight) {
  const int w = monitor.width();
  const int h = monitor.height();
  const int frameHeight = aspect43 ? 960 : 720;
  WindowLayout layout{};
  if (mode == kModeFullScreen) {
    layout.window = monitor;
    layout.picture = monitor.size();
    layout.pictureShown = false;
    layout.buttonsShown = false;
    layout.panel = {monitor.left() + w - 642, monitor.top() + h - 130};
    layout.seeThroughFrom = w;
    return layout;
  }
  if (mode == kModeOneToOne) {
    // On a monitor exactly 1280 wide the column moves in to stay on it.
    const bool narrow = w == 1280;
    const int column = narrow ? 1275 : 1281;
    const int x = w > 1280 ? monitor.left() + (w - 1280) / 2 : monitor.left();
    const int y =
        h > frameHeight ? monitor.top() + (h - frameHeight - captionHeight) / 2 : monitor.top();
    layout.window = {x, y, 1298, frameHeight + 2};
    layout.picture = {narrow ? 1276 : 1282, frameHeight + 2};
    layout.pictureShown = false;
    layout.buttonsShown = true;
    PlaceButtons(layout, column, column, aspect43 ? 868 : 628);
    // The panel opens in the monitor's bottom-right corner.
    layout.panel = {monitor.left() + w - 642, monitor.top() + h - 159};
    layout.seeThroughFrom = column + 1;
    return layout;
  }
  const int height = aspect43 ? 482 : 362;
  // The window and the panel under it are centred together.
  const int x = monitor.left() + (w - 660) / 2;
  const int y = monitor.top() + (h - (aspect43 ? 614 : 494)) / 2;
  layout.window = {x, y, 660, height};
  layout.picture = {642, height};
  layout.pictureShown = true;
  layout.buttonsShown = true;
  PlaceButtons(layout, 641, 642, aspect43 ? 390 : 270);
  layout.panel = {x, y + height};
  layout.seeThroughFrom = 640;
  return layout;
}

}  // namespace rd420::viewer
