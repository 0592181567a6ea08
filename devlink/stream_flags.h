#pragma once

#include <atomic>
#include <cstdint>

#include "devlink/frame_format.h"

namespace rd420 {

// The shared words that steer streaming runs. Each has one writer at a
// time and is polled by the other side without a lock; a stale read costs
// at most one more cycle.
struct StreamFlags {
  // 1 while a run goes on; cleared to stop it (freeze, mode change, exit, a
  // failed read, a changed video format).
  std::atomic<uint32_t> g_Stream_Run{0};
  // 1 when the run is being stopped to hold a still.
  std::atomic<uint32_t> g_Capture_Mode{0};
  // 1 once the stopped run has handed over to the still thread.
  std::atomic<uint32_t> g_Capture_Started{0};
  // Display A and display B keep drawing while these are 1.
  std::atomic<uint32_t> g_DisplayA_On{0};
  std::atomic<uint32_t> g_ReaderB_On{0};
  // Set by a reader whose frame read failed or timed out.
  std::atomic<uint32_t> g_Usb_Error{0};
  // Restart the run in g_Requested_Mode once it has stopped.
  std::atomic<uint32_t> g_Stream_Restart{0};
  std::atomic<uint8_t> g_Requested_Mode{0};
  std::atomic<uint32_t> g_Exit_Request{0};
  std::atomic<uint8_t> g_Display_Mode{kModeHalf};
  // While a zoom or brightness button is held, the readers poll its value.
  std::atomic<uint32_t> g_Zoom_Osd{0};
  std::atomic<uint32_t> g_Brightness_Osd{0};
  // The SafeMode setting: 75 ms more per reader cycle for slow displays.
  std::atomic<uint32_t> SafeMode{0};
};

}  // namespace rd420
