#pragma once

#include <sane/sane.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "devlink/camera_ready.h"
#include "devlink/device_link.h"
#include "platform/unique_fd.h"
#include "wire/frame_format.h"

namespace rd420::sane {

// Says on the debug output why `link` failed and returns the status for
// it: SANE_STATUS_DEVICE_BUSY when rd420d turned the connection away (too
// many open), else SANE_STATUS_IO_ERROR (a daemon that no longer answers,
// or the camera).
SANE_Status LinkLost(const DeviceLink& link);

// How long a still may take: the programs' ready-wait and frame time-out.
struct StillTiming {
  int readyPollMs = kReadyPollIntervalMs;
  uint32_t frameTimeoutMs = 5000;
};

// One still, read on a worker thread of its own: it waits until the camera
// is ready, asks for the frame size and reads one fresh frame. The
// front-end's thread waits for it in Start and Finish; a byte on the cancel
// descriptor (written by a cancel from any thread or a signal handler) ends
// either wait at once, and the worker with it. Start, Finish and the
// destructor come from the front-end's thread.
class StillScan {
 public:
  StillScan(DeviceLink& link, Resolution resolution, StillTiming timing);
  // Stops the worker, waking every wait it sits in, and joins it.
  ~StillScan();
  StillScan(const StillScan&) = delete;
  StillScan& operator=(const StillScan&) = delete;

  // Starts the worker and waits until the frame's read has begun: GOOD,
  // else the reason (camera gone IO_ERROR, still starting up or held at the
  // other frame size by another program DEVICE_BUSY, CANCELLED).
  SANE_Status Start(int cancelFd);
  // Waits until the frame has arrived (GOOD), failed or was cancelled. With
  // `wait` false it returns GOOD at once when the frame is still on its way.
  SANE_Status Finish(int cancelFd, bool wait);
  bool Arrived() const { return stage_ == Stage::kFinished && result_ == SANE_STATUS_GOOD; }

  // Valid once Start has returned GOOD.
  bool Aspect43() const { return aspect43_; }
  // Valid once Arrived.
  std::span<const uint8_t> Frame() const { return frame_; }

 private:
  enum class Stage { kStarting, kReading, kFinished };

  void Run(std::stop_token stop);
  SANE_Status Read(std::stop_token stop);
  void Advance(Stage stage);
  SANE_Status WaitFor(Stage stage, int cancelFd, bool wait);

  DeviceLink& link_;
  const Resolution resolution_;
  const StillTiming timing_;
  // The worker writes one byte per stage it reaches.
  UniqueFd progressRead_;
  UniqueFd progressWrite_;
  std::atomic<Stage> stage_{Stage::kStarting};
  // Written by the worker before it publishes the stage that makes them
  // valid.
  SANE_Status result_ = SANE_STATUS_GOOD;
  bool aspect43_ = true;
  std::vector<uint8_t> frame_;
  std::jthread worker_;
};

}  // namespace rd420::sane
