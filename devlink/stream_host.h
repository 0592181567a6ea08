#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "devlink/frame_bitmap.h"
#include "platform/event.h"

namespace rd420 {

enum class DisplaySide { kA, kB };

// One frame as a display thread hands it over: converted, and as read.
struct DisplayedFrame {
  DisplaySide side;
  const FrameBitmap& bitmap;
  std::span<const uint8_t> raw;
  std::chrono::steady_clock::time_point readEnd;  // when its last byte was read
};

// What a program plugs into the streaming pipeline: where frames are
// drawn and what the window does at the turns of a run. Each call says
// which thread makes it. None may wait for the GUI thread to answer, since
// the GUI thread may itself be waiting for the pipeline.
class StreamHost {
 public:
  virtual ~StreamHost() = default;

  // StreamThread, at the start of each run before anything is sent (screen
  // saver, repaint under a half-size window, z-order, ending a still
  // thread that may still use the camera).
  virtual void RunStarting(uint8_t displayMode) { (void)displayMode; }
  // A display thread holding the draw turn: show the frame. The frame is
  // valid for the call only.
  virtual void DrawFrame(const DisplayedFrame& frame) = 0;
  // The status thread (idle priority), after display B has drawn a frame;
  // calls that pile up while one runs are served once.
  virtual void HandleStatus() {}
  // StreamThread, when a run stopped for a freeze has released the camera's
  // frames: start the still thread, which sets `stillReady` once it runs.
  // False when none was started.
  virtual bool StartStill(Event& stillReady) {
    (void)stillReady;
    return false;
  }
  // StreamThread, before restarting in `mode`: lay the windows out for it.
  virtual void LayOut(uint8_t mode) { (void)mode; }
  // StreamThread, after LayOut, as the restarted run begins: the buttons
  // of live view.
  virtual void ResumingLive() {}
  // StreamThread, after a failed frame read has been reported.
  virtual void EndProgram() {}
  // StreamThread, after a camera it could not open has been reported (the
  // viewer's window stays without a picture).
  virtual void StreamOpenFailed() {}
};

}  // namespace rd420
