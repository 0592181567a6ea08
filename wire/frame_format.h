#pragma once

#include <cstddef>
#include <cstdint>

namespace rd420 {

// Display modes of the viewer's main window (g_Display_Mode). The low four
// bits choose the frame resolution of a streaming run.
inline constexpr uint8_t kModeOneToOne = 0x01;
inline constexpr uint8_t kModeHalf = 0x02;
inline constexpr uint8_t kModeFullScreen = 0x11;

enum class Resolution { kFull, kHalf };

// The size of the frames the camera delivers for one aspect and resolution.
struct FrameGeometry {
  int width = 0;
  int height = 0;

  // V, Y0, U, Y1 groups: two bytes per pixel, rows without gaps.
  size_t FrameBytes() const { return static_cast<size_t>(width) * height * 2; }
  // Converted BGR: three bytes per pixel; rows need no padding at 640 or
  // 1280 pixels.
  size_t BgrBytes() const { return static_cast<size_t>(width) * height * 3; }
};

FrameGeometry FrameGeometryFor(bool aspect43, Resolution resolution);

// The rate, in frames per second, at which a camera of this kind delivers
// frames of `geometry` over a USB 2.0 link.
inline double CameraFrameRate(const FrameGeometry& geometry) {
  if (geometry.width == 1280) {
    return geometry.height == 960 ? 15.0 : 20.0;
  }
  return geometry.height == 480 ? 22.61 : 30.2;
}

// Bytes of one frame.
inline size_t FrameSize(bool aspect43, Resolution resolution) {
  return FrameGeometryFor(aspect43, resolution).FrameBytes();
}

// Full resolution in the large modes (1:1 window and full screen), half in
// the half window.
Resolution ResolutionForMode(uint8_t displayMode);

// The command word that asks the camera for frames of `resolution`.
uint32_t ResolutionCommand(Resolution resolution);

}  // namespace rd420
