#pragma once

#include <cstdint>

namespace rd420::viewer {

// Holds the desktop's screen saver off while the camera streams, through
// the freedesktop ScreenSaver interface on the session bus. Best effort: a
// desktop without it is left alone. GUI thread only.
class ScreenSaverInhibitor {
 public:
  ~ScreenSaverInhibitor() { Release(); }
  void Inhibit();
  void Release();
  bool Active() const { return cookie_ != 0; }

 private:
  uint32_t cookie_ = 0;
};

}  // namespace rd420::viewer
