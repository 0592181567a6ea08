#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "devlink/camera_status.h"
#include "devlink/command_queue.h"
#include "devlink/device_link.h"
#include "devlink/frame_format.h"
#include "devlink/stream_flags.h"
#include "devlink/stream_host.h"
#include "platform/event.h"

namespace rd420 {

// The waits and pauses of a run; tests shorten the read time-out.
struct StreamTimings {
  uint32_t readTimeoutMs = 5000;  // a frame read longer than this has failed
  uint32_t endWaitMs = 1000;      // waits for a reader or display at the end
  uint32_t readerBStartMs = 30;   // reader B's pause before its first cycle
  uint32_t safeModeMs = 75;       // added to each reader cycle in SafeMode
  uint32_t restartPauseMs = 50;   // before restarting in another mode
};

// Streams frames from the camera to a StreamHost: StreamThread (run
// controller and reader A) and ReaderB take turns reading into buffers A
// and B, each with one vendor request beside its read, while DisplayA and
// DisplayB convert and draw them in the same order. A run stops when
// g_Stream_Run is cleared and ends with no thread left except, after a
// freeze, the host's still thread. Methods are safe from any thread except
// the host's callbacks, which must not call Shutdown.
class StreamPipeline {
 public:
  StreamPipeline(DeviceLink& link, CameraStatus& status, CommandQueue& commands, StreamHost& host,
                 StreamTimings timings = {});
  // Shuts down.
  ~StreamPipeline();
  StreamPipeline(const StreamPipeline&) = delete;
  StreamPipeline& operator=(const StreamPipeline&) = delete;

  StreamFlags& Flags() { return flags_; }

  // Starts a run in g_Display_Mode with fresh run events. The new
  // StreamThread first waits for the previous one to end, so two runs never
  // read at once. False once shutting down.
  bool StartRun();
  // The capture toggle's streaming side: while streaming, stop the run to
  // hold a still; while stopped, start a new run.
  void CaptureToggle();
  // Clears g_Stream_Run; the run ends within its current cycle.
  void StopRun() { flags_.g_Stream_Run = 0; }
  // The exit: raises g_Exit_Request, stops the run and waits for every
  // thread the pipeline started. Not from a host callback.
  void Shutdown();

  // Frames read whole since the pipeline was made, by either reader.
  uint64_t FramesRead() const { return framesRead_; }

  // Set by StreamThread when a run ends while the program is closing.
  Event& StreamEnded() { return StreamEnded_; }

 private:
  struct Run;
  struct ReaderSide;

  void StreamThread(Run& run);
  void StreamFromDevice(Run& run, DeviceHandle& device);
  void ReaderB(Run& run, DeviceHandle& device);
  // Allocates the display's buffer and starts it; not joinable on failure.
  std::thread StartDisplay(Run& run, DisplaySide side, std::vector<uint8_t>& buffer);
  void DisplayThread(Run& run, DisplaySide side, const std::vector<uint8_t>& buffer);
  void ReadCycles(Run& run, const ReaderSide& side, DeviceHandle& device,
                  std::vector<uint8_t>& buffer);
  bool VendorRequestOfCycle(const ReaderSide& side);
  bool RunGoesOn(const Run& run) const;
  void StopIfCurrent(const Run& run);
  void StatusThread();

  DeviceLink& link_;
  CameraStatus& status_;
  CommandQueue& commands_;
  StreamHost& host_;
  const StreamTimings timings_;
  StreamFlags flags_;
  ManualResetEvent StreamEnded_;

  std::mutex threadsMutex_;  // guards streamThread_ and shuttingDown_
  std::thread streamThread_;
  bool shuttingDown_ = false;
  std::atomic<uint64_t> generation_{0};
  std::atomic<uint64_t> framesRead_{0};

  // HandleStatus runs on one idle-priority thread, woken per frame pair.
  AutoResetEvent statusDue_;
  std::atomic<bool> statusStop_{false};
  std::thread statusThread_;
};

}  // namespace rd420
