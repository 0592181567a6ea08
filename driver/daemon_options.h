#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/camera_model.h"

namespace rd420 {

struct DaemonOptions {
  std::string directory;          // empty: the default device directory
  std::vector<int> instances{0};  // which RD-420-<n> nodes exist
  bool simulate = true;
  uint16_t usbVendorId = 0;  // --usb VID:PID
  uint16_t usbProductId = 0;
  std::string recordPath;  // --record FILE: the USB session, written
  bool recordHeadersOnly = false;
  std::string replayPath;  // --replay FILE: a recorded USB session, served
  sim::CameraOptions camera;
  bool help = false;
};

// Parses rd420d's command line. On a mistake returns false and sets
// `error` to one line for the user.
bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options,
                        std::string& error);

extern const char kDaemonUsage[];

}  // namespace rd420
