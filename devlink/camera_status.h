#pragma once

#include <atomic>
#include <cstdint>

namespace rd420 {

// The camera's words as the programs last read them. Each word has one
// writer (a reader thread or the start-up) and any number of readers, which
// may see the previous frame's value.
struct CameraStatus {
  std::atomic<uint32_t> g_Normal_Status{0};
  std::atomic<uint32_t> g_Zoom_Status{0};
  std::atomic<uint32_t> g_Bright_Status{0};
  // The status thread's alone: the word its last pass handled.
  std::atomic<uint32_t> g_Prev_Status{0};
  // Fixed by the ready-wait for the life of the program.
  std::atomic<uint32_t> g_Aspect_43{1};
  std::atomic<uint8_t> g_Model_Variant{0};
};

}  // namespace rd420
