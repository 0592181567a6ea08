#include "sane/still_scan.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <new>

#include "devlink/camera_status.h"
#include "devlink/frame_reader.h"
#include "sane/debug.h"
#include "wire/command_words.h"
#include "wire/device_records.h"

namespace rd420::sane {
namespace {

// The daemon refuses a frame-size change while another program streams at
// the other size; a camera that still answers its status poll then refused
// only the size, and is busy rather than gone.
SANE_Status SetFrameSize(DeviceHandle& device, Resolution resolution, std::stop_token stop) {
  // A cancel ends a request the daemon sits on at once.
  const std::stop_callback cancel(stop, [&device] { device.Cancel(); });
  std::array<uint8_t, kVendorReplyBytes> reply{};
  auto send = [&](uint32_t word) {
    return device.Ioctl(kIoctlVendorRequest, EncodeVendorRecord(word), reply).ok;
  };
  if (send(ResolutionCommand(resolution))) {
    return SANE_STATUS_GOOD;
  }
  if (send(kPollStatus)) {
    Debug(1, "the camera streams at the other frame size for another program");
    return SANE_STATUS_DEVICE_BUSY;
  }
  return SANE_STATUS_IO_ERROR;
}

}  // namespace

SANE_Status LinkLost(const DeviceLink& link) {
  if (link.Refused()) {
    // Turned away by rd420d: the camera is only busy with other clients.
    Debug(1, "rd420d refused the connection: it has too many connections open");
    return SANE_STATUS_DEVICE_BUSY;
  }
  if (link.NoAnswer()) {
    Debug(1, "rd420d does not answer (no reply within 5 s): is the daemon stopped?");
  } else {
    Debug(1, "the camera does not answer on %s", link.DeviceName().c_str());
  }
  return SANE_STATUS_IO_ERROR;
}

StillScan::StillScan(DeviceLink& link, Resolution resolution, StillTiming timing)
    : link_(link), resolution_(resolution), timing_(timing) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    progressRead_.Reset(fds[0]);
    progressWrite_.Reset(fds[1]);
  }
}

StillScan::~StillScan() {
  // The jthread asks the worker to stop and joins it; the stop wakes its
  // ready-wait, its requests and its frame read.
  worker_ = {};
}

SANE_Status StillScan::Start(int cancelFd) {
  if (!progressRead_.Valid()) {
    return SANE_STATUS_NO_MEM;
  }
  try {
    worker_ = std::jthread([this](std::stop_token stop) { Run(stop); });
  } catch (const std::system_error&) {
    return SANE_STATUS_NO_MEM;
  }
  return WaitFor(Stage::kReading, cancelFd, true);
}

SANE_Status StillScan::Finish(int cancelFd, bool wait) {
  return WaitFor(Stage::kFinished, cancelFd, wait);
}

SANE_Status StillScan::WaitFor(Stage stage, int cancelFd, bool wait) {
  for (;;) {
    const Stage now = stage_.load();
    if (now == Stage::kFinished) {
      return result_;
    }
    if (now >= stage || !wait) {
      return SANE_STATUS_GOOD;
    }
    std::array<pollfd, 2> fds = {{{progressRead_.Get(), POLLIN, 0}, {cancelFd, POLLIN, 0}}};
    if (poll(fds.data(), fds.size(), -1) < 0) {
      continue;  // a signal; its cancel, if any, shows in the next poll
    }
    if (fds[1].revents != 0) {
      worker_ = {};  // stop and join
      return SANE_STATUS_CANCELLED;
    }
    char drained[8];
    while (read(progressRead_.Get(), drained, sizeof drained) > 0) {
    }
  }
}

void StillScan::Advance(Stage stage) {
  stage_ = stage;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(progressWrite_.Get(), &byte, 1);
}

void StillScan::Run(std::stop_token stop) {
  result_ = Read(stop);
  if (stop.stop_requested()) {
    result_ = SANE_STATUS_CANCELLED;
  }
  Advance(Stage::kFinished);
}

// Runs on the worker thread.
SANE_Status StillScan::Read(std::stop_token stop) {
  CameraStatus status;
  if (!WaitCameraReady(link_, status, timing_.readyPollMs, stop)) {
    if (!link_.LinkOk() || link_.Failed()) {
      return LinkLost(link_);
    }
    Debug(1, "the camera did not become ready");
    return SANE_STATUS_DEVICE_BUSY;
  }
  aspect43_ = status.g_Aspect_43 != 0;
  std::unique_ptr<DeviceHandle> device = link_.OpenDevice();
  if (device == nullptr) {
    Debug(1, "cannot open %s", link_.DeviceName().c_str());
    return SANE_STATUS_IO_ERROR;
  }
  if (const SANE_Status sized = SetFrameSize(*device, resolution_, stop);
      sized != SANE_STATUS_GOOD) {
    return sized;
  }
  try {
    frame_.assign(FrameSize(aspect43_, resolution_), 0);
  } catch (const std::bad_alloc&) {
    return SANE_STATUS_NO_MEM;
  }
  Advance(Stage::kReading);
  FrameReader reader(link_, *device);
  // A short frame (the camera changed its aspect meanwhile, or a transfer
  // cut short) is a failed read there: no rows the camera never sent.
  if (!reader.Read(frame_, timing_.frameTimeoutMs, {}, stop)) {
    Debug(1, "the frame read failed, timed out or brought no whole frame");
    return SANE_STATUS_IO_ERROR;
  }
  return SANE_STATUS_GOOD;
}

}  // namespace rd420::sane
