#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "platform/drawing_surface.h"
#include "wire/frame_format.h"

namespace rd420::capture {

// The line burnt into a recorded frame at local time `now`: the time
// stamp, the caption, both (two spaces between) or nothing.
std::string OverlayText(bool displayLocalTime, bool displayCaption, std::string_view caption,
                        std::time_t now);

// Makes the recording's drawing surface: context, picture of `geometry`,
// Arial 16 pixels high. On a failure shows its message over `owner` and
// returns false.
bool CreateOverlaySurface(DrawingSurface& surface, FrameGeometry geometry, const void* owner);

}  // namespace rd420::capture
