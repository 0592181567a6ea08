#pragma once

#include <QRect>
#include <QSize>
#include <cstdint>

namespace rd420::viewer {

// Where the display threads put the picture in the back buffer (and the
// window): 1:1 and half windows at (1, 1) in the frame's own size; full
// screen either 1:1 centred or scaled to the monitor keeping the aspect.
// All divisions truncate, as the window layout expects.
QRect DestinationRect(uint8_t displayMode, bool aspect43, QSize monitor, bool fullScreenScaled);

}  // namespace rd420::viewer
