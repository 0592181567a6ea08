#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "devlink/device_transport.h"

namespace rd420 {

// What the daemon knows of the client whose request it runs.
struct ClientContext {
  // The camera's plug generation when the client connected; a handle opened
  // before an unplug stays dead after the camera comes back.
  uint64_t generation = 0;
  // True once the client has hung up; a waiting request gives up then.
  std::function<bool()> peerGone;
};

// One camera behind a device node: the simulator or, later, a real camera
// through libusb. Runs the driver's I/O-control requests for any number of
// client connections at once; a bulk read blocks until a frame is ready or
// the pipe is aborted.
class CameraBackend {
 public:
  virtual ~CameraBackend() = default;

  virtual bool Plugged() const = 0;
  virtual uint64_t Generation() const = 0;

  // `code` and the input length were checked by the server.
  virtual IoctlResult Ioctl(const ClientContext& client, uint32_t code, std::span<const uint8_t> in,
                            std::span<uint8_t> out) = 0;

  // Ends every request that waits (the daemon is stopping).
  virtual void Shutdown() = 0;
};

}  // namespace rd420
