#pragma once

#include <atomic>
#include <cstdint>

#include "wire/frame_format.h"

namespace rd420 {

// The run state of the streaming pipeline. Only StreamPipeline writes it,
// under its run lock or on the run's own threads (each flag names its
// writer); everyone else reads it without a lock, where a stale read costs
// at most one more cycle. Programs change it through the pipeline's
// requests (start, capture toggle, restart, stop, exit).
struct StreamFlags {
  // 1 while a run goes on. Run lock: set by a start, cleared by a stop
  // request, a freeze, a restart, the exit or a run that failed.
  std::atomic<uint32_t> g_Stream_Run{0};
  // 1 when the run is being stopped to hold a still. Run lock.
  std::atomic<uint32_t> g_Capture_Mode{0};
  // 1 once the stopped run has handed over to the still thread.
  // StreamThread.
  std::atomic<uint32_t> g_Capture_Started{0};
  // Display A and display B keep drawing while these are 1. Reader A's and
  // reader B's side of the run (StreamThread and ReaderB).
  std::atomic<uint32_t> g_DisplayA_On{0};
  std::atomic<uint32_t> g_ReaderB_On{0};
  // Set when a run ended because a frame read failed or timed out.
  // StreamThread, from the readers' own results.
  std::atomic<uint32_t> g_Usb_Error{0};
  // Restart the run in g_Requested_Mode once it has stopped. Run lock.
  std::atomic<uint32_t> g_Stream_Restart{0};
  std::atomic<uint8_t> g_Requested_Mode{kModeHalf};
  // Run lock.
  std::atomic<uint32_t> g_Exit_Request{0};
  std::atomic<uint8_t> g_Display_Mode{kModeHalf};
};

// What the program sets for the readers and the painter; written on one
// thread of the program's (the GUI thread), read by the run's threads.
struct StreamControls {
  // While a zoom or brightness button is held, the readers poll its value.
  std::atomic<uint32_t> g_Zoom_Osd{0};
  std::atomic<uint32_t> g_Brightness_Osd{0};
  // The SafeMode setting: 75 ms more per reader cycle for slow displays.
  std::atomic<uint32_t> SafeMode{0};
};

}  // namespace rd420
