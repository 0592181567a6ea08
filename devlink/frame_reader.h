#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>

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
  // vendor request) meanwhile, then waits until timeoutMs after the start
  // or until `stop` is requested. Only a read that fills `buffer` exactly
  // is a frame; a shorter or longer one has failed. A read that failed,
  // did not finish in time or was stopped is ended on this side at once
  // (the device handle is cancelled and dead afterwards), then aborted at
  // the camera. Returns whether a whole frame arrived; the transfer thread
  // has ended by then in every case, whatever the daemon does.
  bool Read(std::span<uint8_t> buffer, uint32_t timeoutMs, const std::function<void()>& beside = {},
            std::stop_token stop = {});
  // Whether the last read failed only for its size: a camera that turned
  // to the other aspect sends such frames, and its status word says so.
  bool WrongSize() const { return wrongSize_; }
  // The bytes the last read brought, whole frame or not.
  uint32_t BytesRead() const { return request_.bytesReturned; }

 private:
  DeviceLink& link_;
  DeviceHandle& device_;
  AutoResetEvent ReadDone;
  const uint8_t pipe_[4] = {1, 0, 0, 0};
  FrameReadRequest request_;
  bool wrongSize_ = false;
};

}  // namespace rd420
