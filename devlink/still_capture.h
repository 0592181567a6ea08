#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

#include "devlink/camera_status.h"
#include "devlink/device_link.h"
#include "devlink/frame_bitmap.h"
#include "devlink/stream_flags.h"
#include "platform/event.h"
#include "platform/imaging.h"

namespace rd420 {

// The requests a held picture serves, set by the buttons and taken by the
// still thread.
struct StillFlags {
  std::atomic<uint32_t> g_Save_Request{0};
  std::atomic<uint32_t> g_Print_Request{0};
  std::atomic<uint32_t> g_QuickSave_Request{0};
  std::atomic<uint32_t> g_QuickSave_Busy{0};
  // The data source's "Scan Capturing Image": hand the held still over.
  std::atomic<uint32_t> CaptureRequest{0};
};

// Where a held picture is saved and printed; the program around the
// viewer's windows provides it. Called on the still thread, which waits for
// the call to return.
class StillActions {
 public:
  virtual ~StillActions() = default;
  // `mode` is 1 for a full-resolution still (also in half mode with
  // AlwaysFull), 2 for a half-resolution one, 0x11 in full screen.
  virtual void SaveStill(const ImagingBitmap& still, uint8_t mode, bool quick) = 0;
  virtual void PrintStill(const FrameBitmap& still, uint8_t mode) = 0;
};

// What the still thread asks of the windows; each runs on the still thread
// and must only post to the GUI thread.
struct StillHooks {
  std::function<void()> enableCapture;
  std::function<void()> enableSaveAndPrint;
  std::function<void()> showQuickSaveNotice;
  std::function<void()> resumeLive;  // the capture toggle, back to live view
  std::function<void()> endProgram;  // after a failed read has been reported
  std::function<void()> openFailed;  // after a camera it could not open, if set
  // The data source's: hands the held still to the application, and is
  // asked once a pass whether the application has taken it.
  std::function<void(const FrameBitmap& still)> handOverStill;
  std::function<void()> pollHandOver;
  // Given each held still once it has been read, if set.
  std::function<void(const FrameBitmap& still)> stillRead;
  const char* bitmapHandleText = "비트맵 핸들 생성 실패";
};

// The still thread: started when a run stops for a freeze, it reads one
// fresh frame, holds it as an imaging bitmap, serves save, print and quick
// save requests on it and polls the camera every 60 ms until live view
// resumes. Owns its thread; Start and Join come from other threads.
// Without actions (the data source's window) save and print requests are
// dropped.
class StillCapture {
 public:
  StillCapture(DeviceLink& link, const CameraStatus& status, const StreamFlags& flags,
               StillFlags& stills, StillActions* actions, StillHooks hooks);
  ~StillCapture() { Stop(); }

  // StreamThread: starts the thread, which sets `stillReady` once running.
  // A previous still thread is waited for first.
  bool Start(Event& stillReady);
  // Ends the still thread's loop and waits for it, waking every wait it
  // may sit in (its frame read, its status request, its pause), so it ends
  // at once whatever the camera does. Called before a new run reads, so
  // the two never use the camera at once, and at the end.
  void Stop();
  // Whether a still thread is running its loop (not ended on its own).
  bool Running() const { return running_; }
  // How many still threads have been started: tells a still thread started
  // after some moment from the one before it.
  uint64_t Started() const { return started_; }

  // The AlwaysFull setting: a still in half mode is read at full size.
  std::atomic<bool> alwaysFull{false};

 private:
  void Run(Event& stillReady, std::stop_token stop);
  void Hold(DeviceHandle& device, FrameGeometry geometry, uint8_t mode, std::stop_token stop);

  DeviceLink& link_;
  const CameraStatus& status_;
  const StreamFlags& flags_;
  StillFlags& stills_;
  StillActions* const actions_;
  const StillHooks hooks_;
  std::mutex threadMutex_;
  std::thread thread_;
  // Its own stop request, one per thread: g_Capture_Mode may go 1, 0, 1
  // before the thread looks, when a resume is followed by another freeze.
  std::stop_source stop_;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> started_{0};
};

}  // namespace rd420
