#include "devlink/still_capture.h"

#include <chrono>
#include <new>

#include "devlink/frame_reader.h"
#include "platform/message.h"
#include "platform/thread.h"
#include "wire/command_words.h"

namespace rd420 {
namespace {

constexpr uint32_t kStillReadTimeoutMs = 5000;
constexpr auto kPollInterval = std::chrono::milliseconds(60);
constexpr auto kQuickSavePause = std::chrono::milliseconds(40);

}  // namespace

StillCapture::StillCapture(DeviceLink& link, const CameraStatus& status, const StreamFlags& flags,
                           StillFlags& stills, StillActions* actions, StillHooks hooks)
    : link_(link),
      status_(status),
      flags_(flags),
      stills_(stills),
      actions_(actions),
      hooks_(std::move(hooks)) {
}

bool StillCapture::Start(Event& stillReady) {
  Stop();  // normally stopped already, when live view resumed
  std::lock_guard lock(threadMutex_);
  stop_ = std::stop_source();
  running_ = true;
  ++started_;  // after running_: a thread counted as started is seen running
  try {
    thread_ = StartThread(ThreadPriority::kNormal,
                          [this, &stillReady, stop = stop_.get_token()] { Run(stillReady, stop); });
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

void StillCapture::Stop() {
  std::lock_guard lock(threadMutex_);
  stop_.request_stop();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void StillCapture::Run(Event& stillReady, std::stop_token stop) {
  // Nothing asked of an earlier still is served on this one.
  stills_.g_Save_Request = 0;
  stills_.g_Print_Request = 0;
  stillReady.Set();  // the stopped run may release its buffers now

  const uint8_t displayMode = flags_.g_Display_Mode;
  const bool full = ResolutionForMode(displayMode) == Resolution::kFull || alwaysFull;
  // The mode handed to save and print says what the still is, not the window.
  const uint8_t stillMode =
      displayMode == kModeFullScreen ? kModeFullScreen : (full ? kModeOneToOne : kModeHalf);
  const Resolution resolution = full ? Resolution::kFull : Resolution::kHalf;
  if (link_.SendCommand(ResolutionCommand(resolution), stop)) {
    if (std::unique_ptr<DeviceHandle> device = link_.OpenDevice()) {
      Hold(*device, FrameGeometryFor(status_.g_Aspect_43 != 0, resolution), stillMode, stop);
    } else {
      link_.ShowFailure(LinkFailure::kStreamOpen);
      if (hooks_.openFailed) {
        hooks_.openFailed();
      }
    }
  }
  // A Save or Print pressed after this pass looked at its requests (during
  // a quick save's write) was not served: it ends with this still.
  stills_.g_Save_Request = 0;
  stills_.g_Print_Request = 0;
  if (stills_.g_QuickSave_Request != 0) {
    stills_.g_QuickSave_Request = 0;
    hooks_.resumeLive();
  }
  stills_.g_QuickSave_Busy = 0;
  running_ = false;
}

void StillCapture::Hold(DeviceHandle& device, FrameGeometry geometry, uint8_t mode,
                        std::stop_token stop) {
  std::vector<uint8_t> frame;
  try {
    frame.assign(geometry.FrameBytes(), 0);
  } catch (const std::bad_alloc&) {
    return;
  }
  FrameReader reader(link_, device);
  if (!reader.Read(frame, kStillReadTimeoutMs, {}, stop) && !stop.stop_requested()) {
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kBulkRead);
      hooks_.endProgram();
    }
    return;
  }
  if (stop.stop_requested()) {
    return;  // live view has resumed meanwhile
  }
  ImagingBitmap still;
  if (!still.Create(geometry.width, geometry.height, 24)) {
    ShowMessage(nullptr, hooks_.bitmapHandleText, "Error (AIG00002)", MessageIcon::kError);
    return;
  }
  FrameBitmap bitmap(FrameBitmap::kStillPelsPerMeter);
  const bool haveBitmap = bitmap.Allocate(geometry);
  hooks_.enableCapture();
  if (!haveBitmap) {
    return;
  }
  bitmap.ConvertFrom(frame);
  hooks_.enableSaveAndPrint();
  if (hooks_.stillRead) {
    hooks_.stillRead(bitmap);
  }
  // The data source hands the DIB itself over and saves nothing.
  if (!hooks_.handOverStill &&
      !still.ConvertFromDib(bitmap.Block().first(FrameBitmap::kHeaderBytes), bitmap.Pixels())) {
    ShowMessage(nullptr, "비트맵 변환 실패", "Error (AIG00001)", MessageIcon::kError);
    return;
  }

  while (flags_.g_Capture_Mode != 0 && !stop.stop_requested()) {
    if (stills_.g_QuickSave_Request != 0) {
      hooks_.showQuickSaveNotice();
    }
    // One request per pass: save before print before quick save.
    if (stills_.g_Save_Request != 0) {
      if (actions_ != nullptr) {
        actions_->SaveStill(still, mode, false);
      }
      stills_.g_Save_Request = 0;
    } else if (stills_.g_Print_Request != 0) {
      if (actions_ != nullptr) {
        actions_->PrintStill(bitmap, mode);
      }
      stills_.g_Print_Request = 0;
    } else if (stills_.g_QuickSave_Request != 0) {
      if (actions_ != nullptr) {
        actions_->SaveStill(still, mode, true);
      }
      std::this_thread::sleep_for(kQuickSavePause);
    } else if (stills_.CaptureRequest.exchange(0) != 0 && hooks_.handOverStill) {
      hooks_.handOverStill(bitmap);
    }
    if (hooks_.pollHandOver) {
      hooks_.pollHandOver();
    }
    if (flags_.g_Capture_Mode != 0 && !stop.stop_requested()) {
      link_.SendCommand(kPollStatus, stop);
      SleepUnlessStopped(kPollInterval, stop);
    }
    if (stills_.g_QuickSave_Request != 0) {
      break;
    }
  }
}

}  // namespace rd420
