#pragma once

#include <optional>
#include <string>

#include "capture/recording.h"
#include "devlink/device_link.h"

namespace rd420::tools {

struct RecordOptions {
  capture::RecordingSettings settings;
  double seconds = 0;
  bool rotate = false;
};

// record FILE.avi --seconds N [--video none|xvid|div3] [--audio none|adpcm]
// [--timestamp] [--caption TEXT] [--rotate]: `args` starts with the
// command, which getopt takes for the program name.
std::optional<RecordOptions> ParseRecordOptions(int argc, char** args, std::string* problem);

// rd420ctl record: waits for the camera, then records through the capture
// program's recording consumer for the given seconds, or until SIGINT or
// SIGTERM. Returns the exit code: 1 after a recording failure's message.
int Record(DeviceLink& link, const RecordOptions& options);

}  // namespace rd420::tools
