#pragma once

#include <string>

#include "devlink/camera_status.h"
#include "devlink/device_link.h"
#include "wire/frame_format.h"

namespace rd420::tools {

// The ready-wait, which also tells the aspect and so the frame size. On
// failure it says why on one line: a daemon that does not answer, else the
// camera's not-ready message (unless the link has reported its own).
bool WaitReady(DeviceLink& link, CameraStatus& status);

// rd420ctl snapshot: reads one frame at `resolution`, converts it and writes
// it to `path` as a 24-bit BMP. Returns the exit code.
int Snapshot(DeviceLink& link, const std::string& path, Resolution resolution);

// rd420ctl stream: runs the streaming pipeline for `seconds` with a display
// that draws nothing, then prints frames per second, frames read but not
// drawn, CPU time per frame and the status words seen. Returns the exit
// code.
int Stream(DeviceLink& link, double seconds, Resolution resolution);

}  // namespace rd420::tools
