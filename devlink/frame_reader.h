#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "devlink/device_link.h"
#include "platform/event.h"

namespace rd420 {

// Reads whole frames from pipe 1 of one open device, each on a transfer
// thread of its own, with a time-out. Used by one thread at a time (a
// streaming reader or the still thread); keeps its request record and
// completion event for every read.
class FrameReader {
 public:
  FrameReader(DeviceLink& link, DeviceHandle& device);

  // Starts reading one frame into `buffer`, runs `beside` (the cycle's
  // vendor request) meanwhile, then waits at most timeoutMs. A read that
  // failed or did not finish in time is aborted through a fresh handle so
  // that it ends. Returns whether a frame arrived; the transfer thread has
  // ended by then in every case. A short read is not examined.
  bool Read(std::span<uint8_t> buffer, uint32_t timeoutMs,
            const std::function<void()>& beside = {});

 private:
  DeviceLink& link_;
  AutoResetEvent ReadDone;
  const uint8_t pipe_[4] = {1, 0, 0, 0};
  FrameReadRequest request_;
};

}  // namespace rd420
