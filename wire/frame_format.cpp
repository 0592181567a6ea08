#include "wire/frame_format.h"

#include "wire/command_words.h"

namespace rd420 {

FrameGeometry FrameGeometryFor(bool aspect43, Resolution resolution) {
  const FrameGeometry full{1280, aspect43 ? 960 : 720};
  if (resolution == Resolution::kFull) {
    return full;
  }
  return {full.width / 2, full.height / 2};
}

Resolution ResolutionForMode(uint8_t displayMode) {
  return (displayMode & 0x0F) == 0x01 ? Resolution::kFull : Resolution::kHalf;
}

uint32_t ResolutionCommand(Resolution resolution) {
  return resolution == Resolution::kFull ? kCmdFullResolution : kCmdHalfResolution;
}

}  // namespace rd420
