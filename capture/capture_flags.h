#pragma once

#include <atomic>
#include <cstdint>

namespace rd420::capture {

// What the dialog and the capture threads share. Each flag is one whole
// word written by the sides the comments name; nobody holds a lock for it.
struct CaptureFlags {
  // 1 while the stream thread is to keep reading. Set by the dialog;
  // cleared by the dialog and by the stream thread on a fatal failure.
  std::atomic<uint32_t> g_Stream_On{0};
  // 1 while the consumer is to keep taking frames.
  std::atomic<uint32_t> g_Consumer_Run{0};
  // 1: the next cycle records; 0: it only shows the preview. Dialog only.
  std::atomic<uint32_t> g_Record_Mode{0};
  // 1 once the program is closing.
  std::atomic<uint32_t> g_Closing{0};
  // 1 once a closing path has stopped the workers; the destroy step then
  // skips its own stop.
  std::atomic<uint32_t> g_Stopped{0};
  // The last status word of the stream thread's periodic poll.
  std::atomic<uint32_t> g_Last_Status{0};
  // The "Rotate Image 180 dgrees" box; read by the consumer every frame.
  std::atomic<uint32_t> g_Rotate{0};
  // Fixed by the start-up before any worker runs: 1 for 4:3, 0 for 16:9.
  int g_Aspect_43 = 1;
};

}  // namespace rd420::capture
