#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "devlink/camera_status.h"
#include "devlink/command_queue.h"
#include "devlink/device_link.h"
#include "devlink/stream_flags.h"
#include "devlink/stream_host.h"
#include "platform/event.h"
#include "wire/frame_format.h"

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
// DisplayB convert and draw them in the same order. A run stops at a
// request (freeze, restart, stop, exit) or a failed read and ends with no
// thread left except, after a freeze, the host's still thread. The
// pipeline owns its run state (Flags): the requests below are the only way
// to change it. Methods are safe from any thread except the host's
// callbacks, which must not call Shutdown.
class StreamPipeline {
 public:
  StreamPipeline(DeviceLink& link, CameraStatus& status, CommandQueue& commands, StreamHost& host,
                 StreamTimings timings = {});
  // Shuts down.
  ~StreamPipeline();
  StreamPipeline(const StreamPipeline&) = delete;
  StreamPipeline& operator=(const StreamPipeline&) = delete;

  const StreamFlags& Flags() const { return flags_; }
  StreamControls& Controls() { return controls_; }

  // Starts a run in `mode` (or the current display mode) with fresh run
  // events. The new StreamThread first waits for the previous one to end,
  // so two runs never read at once. False once the exit was requested.
  bool StartRun(uint8_t mode);
  bool StartRun() { return StartRun(flags_.g_Display_Mode); }
  // The capture toggle's streaming side: while streaming, stop the run to
  // hold a still (the freeze); while stopped, start a new run.
  void CaptureToggle();
  // While streaming in another mode: stop the run and restart it in `mode`
  // once it has ended. Nothing when not streaming or already in `mode`.
  void RequestRestart(uint8_t mode);
  // Stops the run; it ends within its current cycle.
  void StopRun();
  // The exit, without waiting: no run starts again and the current one
  // ends within its cycle (a read that hangs, within its time-out).
  void RequestExit();
  // RequestExit, then waits for every thread the pipeline started. Not
  // from a host callback.
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
  // After a frame of another size: polls the status word and, when the
  // camera has turned to the other aspect, stores it and wakes the status
  // handling, which reports the change.
  bool AspectChanged();
  bool RunGoesOn(const Run& run) const;
  void StopIfCurrent(const Run& run);
  // Under runMutex_: whether `run` is the newest and a restart is due; if
  // so, takes the request and gives the mode.
  std::optional<uint8_t> TakeRestart(const Run& run);
  void StatusThread();

  DeviceLink& link_;
  CameraStatus& status_;
  CommandQueue& commands_;
  StreamHost& host_;
  const StreamTimings timings_;
  StreamFlags flags_;
  StreamControls controls_;
  ManualResetEvent StreamEnded_;

  // Guards the run state's writes, streamThread_ and exitRequested_; the
  // flags stay readable without it.
  std::mutex runMutex_;
  std::thread streamThread_;
  bool exitRequested_ = false;
  std::atomic<uint64_t> generation_{0};
  std::atomic<uint64_t> framesRead_{0};

  // HandleStatus runs on one idle-priority thread, woken per frame pair.
  AutoResetEvent statusDue_;
  std::atomic<bool> statusStop_{false};
  std::thread statusThread_;
};

}  // namespace rd420
