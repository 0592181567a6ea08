#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <span>

#include "wire/device_transport.h"
#include "wire/ioctl_codes.h"
#include "wire/wire_protocol.h"

namespace rd420 {

// What the daemon knows of the client whose request it runs.
struct ClientContext {
  // The camera's plug generation when the client connected; a handle opened
  // before an unplug stays dead after the camera comes back.
  uint64_t generation = 0;
  // True once the client has hung up; a waiting request gives up then.
  std::function<bool()> peerGone;
  // The client's process (its peer credentials): an abort ends only that
  // process's reads, and its streaming holds the frame size against others.
  pid_t process = 0;
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

  // The most bytes a request with `code` can return: the server allocates
  // no more than this per request, whatever output length a client asks.
  virtual uint32_t MaxReplyBytes(uint32_t code) const {
    switch (code) {
      case kIoctlGetPipeInformation:
        return kPipeInformationBufferBytes;
      case kIoctlVendorRequest:
        return kVendorReplyBytes;
      case kIoctlBulkRead:
        return wire::kMaxOutputBytes;
      default:
        return 0;
    }
  }

  // Ends every request that waits (the daemon is stopping).
  virtual void Shutdown() = 0;
};

}  // namespace rd420
