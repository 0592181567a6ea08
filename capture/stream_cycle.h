#pragma once

#include <stop_token>
#include <thread>

#include "capture/capture_flags.h"
#include "capture/preview_picture.h"
#include "capture/recording.h"
#include "devlink/device_link.h"
#include "platform/event.h"

namespace rd420::capture {

inline constexpr uint32_t kFrameReadTimeoutMs = 5000;
inline constexpr uint32_t kConsumerEndWaitMs = 1000;

// What the capture threads ask of the program. Called on the stream and
// consumer threads; an implementation only posts to the GUI thread.
class CaptureHost : public RecordingHost {
 public:
  // The stream is about to start: hold the screen saver off.
  virtual void StreamStarting() = 0;
  // Paint `picture` into the preview; borrowed for the call.
  virtual void ShowPreview(const PreviewPicture& picture) = 0;
  // Ask the dialog to close (its cancel path).
  virtual void PostClose() = 0;
};

// One stream cycle: the stream thread, which owns the device handle and the
// one frame buffer and starts a read thread per frame, and its consumer,
// the preview or the recording one. Made, started and stopped by the GUI
// thread; a new cycle gets new events, so nothing of an ended one carries
// over.
class StreamCycle {
 public:
  // `writer` is used when the flags say to record; it outlives the cycle.
  StreamCycle(DeviceLink& link, CaptureFlags& flags, CaptureHost& host, RecordingWriter* writer,
              RecordingSettings settings);
  // Stops the cycle.
  ~StreamCycle();
  StreamCycle(const StreamCycle&) = delete;
  StreamCycle& operator=(const StreamCycle&) = delete;

  // Starts the stream thread at the highest priority.
  void Start();
  // Wakes every wait of the cycle (the frame read, the status request, the
  // hand-off events) and joins its threads. The caller clears g_Stream_On
  // and g_Consumer_Run first. Blocks while a worker's message is shown, so
  // the GUI thread serves events meanwhile.
  void Stop();

 private:
  void StreamThread(std::stop_token stop);
  void ConsumerThread(std::span<const uint8_t> frame, bool record);
  void StatusPoll(std::stop_token stop);

  DeviceLink& link_;
  CaptureFlags& flags_;
  CaptureHost& host_;
  RecordingWriter* writer_;
  const RecordingSettings settings_;
  const FrameGeometry geometry_;

  AutoResetEvent BufferFree;
  AutoResetEvent FrameReady;
  AutoResetEvent ConsumerEnded;
  std::stop_source stop_;
  std::atomic<bool> stopping_{false};  // for the consumer, which has no token
  std::atomic<bool> recordingFailed_{false};
  std::thread stream_;
};

}  // namespace rd420::capture
