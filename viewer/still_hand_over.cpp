// What a hosted window does differently: the still hand-over and the still
// taken for a transfer that finds none handed over.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <utility>

#include "viewer/control_ids.h"
#include "viewer/viewer.h"

namespace rd420::viewer {
namespace {

constexpr int kGrabTimeoutMs = 10000;

}  // namespace

void Viewer::SetCaptureButtons(bool enabled) {
  panel_->Button(kIdCapture)->setEnabled(enabled);
  panel_->Button(kIdSave)->setEnabled(enabled);
}

// Runs on the still thread.
void Viewer::HandOverStill(const FrameBitmap& still) {
  const FrameGeometry geometry = still.Geometry();
  const std::span<const uint8_t> pixels = still.Pixels();
  if (grabbing_) {
    std::lock_guard lock(grabMutex_);
    grabbed_.assign(pixels.begin(), pixels.end());
    grabbedWidth_ = geometry.width;
    grabbedHeight_ = geometry.height;
    grabbing_ = false;
    return;
  }
  handOverPending_ = true;
  Post([this] { SetCaptureButtons(false); });
  role_.HandOverStill(pixels, geometry.width, geometry.height);
}

// Runs on the still thread, once a pass: the buttons come back once the
// application has ended the transfer.
void Viewer::PollHandOver() {
  if (handOverPending_ && role_.StillTaken()) {
    handOverPending_ = false;
    Post([this] {
      if (!ended_) {
        SetCaptureButtons(true);
      }
    });
  }
}

bool Viewer::AwaitFirstFrame(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!ended_ && pipeline_ && !link_.Failed() && timer.elapsed() < timeoutMs) {
    if (pipeline_->FramesRead() > 0) {
      return true;
    }
    if (Flags().g_Stream_Run == 0) {
      return false;
    }
    QThread::msleep(2);
  }
  return false;
}

bool Viewer::GrabStill(std::vector<uint8_t>& pixels, int& width, int& height) {
  if (ended_ || !pipeline_) {
    return false;
  }
  {
    std::lock_guard lock(grabMutex_);
    grabbed_.clear();
  }
  const bool live = Flags().g_Stream_Run != 0;
  // Neither a run to freeze nor a held picture's thread: nothing would
  // ever answer.
  if (!live && !still_->Running()) {
    return false;
  }
  grabbing_ = true;
  // From a live picture only a still thread started by this freeze reads
  // the picture: the last grab's may not have ended yet, and it holds an
  // older one (and would end under this wait).
  const uint64_t startedBefore = still_->Started();
  if (live) {
    CaptureToggle();  // the still thread reads one frame at the mode's size
  }
  // The still thread may need this thread to show a message or end the
  // window meanwhile.
  QElapsedTimer timer;
  timer.start();
  bool requested = false;
  while (grabbing_ && !ended_ && timer.elapsed() < kGrabTimeoutMs) {
    if (!live || still_->Started() != startedBefore) {
      // A still thread that has ended without a picture (after its message).
      if (!still_->Running()) {
        break;
      }
      // Once only: a request left over after the picture came would hand
      // the next one to the application.
      if (!std::exchange(requested, true)) {
        stills_.CaptureRequest = 1;
      }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
    QThread::msleep(1);
  }
  grabbing_ = false;
  stills_.CaptureRequest = 0;
  if (live && !ended_ && Flags().g_Stream_Run == 0) {
    CaptureToggle();
  }
  std::lock_guard lock(grabMutex_);
  if (grabbed_.empty()) {
    return false;
  }
  pixels = std::move(grabbed_);
  grabbed_.clear();
  width = grabbedWidth_;
  height = grabbedHeight_;
  return true;
}

}  // namespace rd420::viewer
