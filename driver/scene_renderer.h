#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rd420::sim {

// The picture state that shapes a simulated frame. Neutral values give the
// plain document scene.
struct SceneSettings {
  int width = 1280;      // 1280 or 640
  int height = 960;      // 960, 720, 480 or 360
  int zoom = 0;          // 0 .. kZoomMax; above 1861 the camera zooms digitally
  int brightness = 128;  // 0 .. 255, 128 neutral
  int redGain = 0;       // -64 .. 64, 0 neutral
  int blueGain = 0;      // -64 .. 64, 0 neutral
  int focus = 500;       // 0 .. 1000, 500 sharp
  bool lamp = false;     // stage lamp lights the paper warmer and brighter

  bool operator==(const SceneSettings&) const = default;
};

inline constexpr int kZoomMax = 2600;
inline constexpr int kSequenceBits = 32;

// Renders the simulated camera's document scene as V, Y0, U, Y1 frames.
// Used by one camera's bulk-read path at a time; not thread-safe.
class SceneRenderer {
 public:
  // Writes one frame of settings.width x settings.height into out, which
  // must hold width * height * 2 bytes. The still part of the picture is
  // rendered once per distinct settings and cached; each call only copies
  // it and draws the moving marker, the frame counter and the sequence
  // stamp for `sequence`.
  void Render(const SceneSettings& settings, uint32_t sequence, std::span<uint8_t> out);

 private:
  void RenderStill(const SceneSettings& settings);

  SceneSettings cachedSettings_{};
  bool cacheValid_ = false;
  std::vector<uint8_t> still_;
};

// Reads back the sequence stamp from a frame's first row (the bottom row of
// the picture): kSequenceBits groups, most significant bit first, Y 235 for
// one and 16 for zero.
uint32_t ReadSequenceStamp(std::span<const uint8_t> frame);

}  // namespace rd420::sim
