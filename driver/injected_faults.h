#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "driver/scene_renderer.h"

namespace rd420::sim {

// The misbehaviours of a faulty camera that `rd420ctl check` must catch,
// set through the control socket. Guarded by SimulatedCamera's mutex.
struct InjectedFaults {
  uint32_t shortFrameBytes = 0;       // every frame comes this many bytes short
  bool wrongSizeNext = false;         // the next frame comes at the other size
  int dropCommands = 0;               // non-poll words answered but not acted on; < 0 all
  std::optional<uint32_t> stuckMask;  // a status bit that keeps one value
  uint32_t stuckValue = 0;
  std::chrono::milliseconds slowStatus{0};  // a status reply this late

  // The status word as a camera with a stuck bit answers it.
  uint32_t Status(uint32_t word) const {
    return stuckMask ? (word & ~*stuckMask) | stuckValue : word;
  }
  // True when this command word is to be dropped (and counts it).
  bool DropCommand() {
    if (dropCommands == 0) {
      return false;
    }
    if (dropCommands > 0) {
      --dropCommands;
    }
    return true;
  }
  // The frame the camera sends instead of `scene`'s: the other size once.
  SceneSettings FrameScene(SceneSettings scene) {
    if (wrongSizeNext) {
      wrongSizeNext = false;
      const bool full = scene.width == 1280;
      scene.width = full ? 640 : 1280;
      scene.height = full ? scene.height / 2 : scene.height * 2;
    }
    return scene;
  }
};

}  // namespace rd420::sim
