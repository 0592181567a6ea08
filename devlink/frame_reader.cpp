#include "devlink/frame_reader.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/trace.h"
#include "wire/ioctl_codes.h"

namespace rd420 {

FrameReader::FrameReader(DeviceLink& link, DeviceHandle& device) : link_(link), device_(device) {
  request_.device = &device;
  request_.code = kIoctlBulkRead;
  request_.input = pipe_;
  request_.inputLength = sizeof pipe_;
  request_.completion = &ReadDone;
}

bool FrameReader::Read(std::span<uint8_t> buffer, uint32_t timeoutMs,
                       const std::function<void()>& beside, std::stop_token stop) {
  request_.output = buffer.data();
  request_.outputLength = static_cast<uint32_t>(buffer.size());
  request_.bytesReturned = 0;
  request_.result = 0;
  const auto started = std::chrono::steady_clock::now();
  std::thread transfer;
  try {
    transfer = link_.StartRead(request_);
  } catch (const std::system_error& error) {
    Trace("frame read: cannot start the transfer thread: %s", error.what());
  }
  {
    std::stop_callback wake(stop, [this] { ReadDone.Set(); });
    if (beside) {
      beside();
    }
    // The time-out counts from the read's start: a vendor request beside
    // it that met a stalled daemon has used its share already.
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    if (transfer.joinable() && !stop.stop_requested() && elapsed.count() < timeoutMs) {
      ReadDone.Wait(timeoutMs - static_cast<uint32_t>(elapsed.count()));
    }
  }
  const bool done = request_.result != 0;
  if (!done) {
    // The transfer may still wait on a daemon that no longer answers: end
    // it here, so the join below cannot hang, then tell the camera.
    device_.Cancel();
  }
  if (transfer.joinable()) {
    transfer.join();
  }
  // Rows the camera never sent, or a frame of another size, would make a
  // broken picture: such a read has failed like any other.
  const bool whole = done && request_.bytesReturned == buffer.size();
  wrongSize_ = done && !whole;
  if (wrongSize_) {
    Trace("frame read: %u bytes where a frame has %zu", request_.bytesReturned.load(),
          buffer.size());
    device_.Cancel();
  }
  if (!whole) {
    link_.AbortPipe();
  }
  // A read that ended after the time-out has left its signal behind.
  ReadDone.ResetSignal();
  return whole;
}

}  // namespace rd420
