#include "devlink/camera_ready.h"

#include <chrono>

#include "devlink/camera_status.h"
#include "devlink/device_link.h"
#include "platform/thread.h"
#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420 {

bool WaitCameraReady(DeviceLink& link, CameraStatus& status, int pollIntervalMs,
                     std::stop_token stop) {
  bool ok = true;
  int count = 0;
  for (;;) {
    const uint32_t word = link.SendCommandQuiet(kPollStatus);
    // A lost link returns the previous reply, which must not pass for a
    // ready camera.
    if (!link.LinkOk()) {
      ok = false;
      break;
    }
    if ((word & kStatusStarting) == 0) {
      break;
    }
    if (++count > kReadyPollLimit) {
      ok = false;
      break;
    }
    if (!SleepUnlessStopped(std::chrono::milliseconds(pollIntervalMs), stop)) {
      return false;
    }
  }
  // A lost link has no aspect to tell, and one that met no answer would
  // only wait out the time-out once more.
  if (!link.LinkOk()) {
    return false;
  }
  status.g_Aspect_43 = IsAspect43(link.SendCommandQuiet(kPollStatus)) ? 1 : 0;
  if (!ok) {
    return false;
  }
  const std::optional<uint32_t> word = link.SendCommand(kPollStatus);
  if (!word) {
    return false;
  }
  status.g_Model_Variant = (*word & kStatusVariant) != 0 ? 1 : 0;
  return true;
}

}  // namespace rd420
