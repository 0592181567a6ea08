#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "wire/device_records.h"

namespace rd420 {

// The largest frame (full size, 4:3): no bulk read is given a bigger buffer,
// and a mode change while a read waits cannot make it too small.
inline constexpr uint32_t kLargestFrameBytes = 1280 * 960 * 2;

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

// One camera behind a device node: the simulator, or a real camera through
// libusb. The server decodes each request and encodes its reply, so a
// back-end sees typed operations only, for any number of client connections
// at once. Thread-safe: Pipes, Vendor and AbortPipe run on the server's loop
// thread and never wait for a frame; each BulkRead runs on a transfer thread
// of its own and blocks until a frame is ready or the read is ended.
class CameraBackend {
 public:
  virtual ~CameraBackend() = default;

  // Changes when the camera is plugged in anew: a handle opened before
  // stays dead.
  virtual uint64_t Generation() const = 0;

  // The interface and its pipes, in descriptor order.
  virtual std::optional<InterfaceInformation> Pipes(const ClientContext& client) = 0;
  // Sends command word `word`; the camera's reply word.
  virtual std::optional<uint32_t> Vendor(const ClientContext& client, uint32_t word) = 0;
  // Ends the asking process's bulk reads on pipe `pipe`.
  virtual bool AbortPipe(const ClientContext& client, uint32_t pipe) = 0;
  // Reads one frame from pipe `pipe` into `frame`; the bytes that arrived.
  virtual std::optional<uint32_t> BulkRead(const ClientContext& client, uint32_t pipe,
                                           std::span<uint8_t> frame) = 0;

  // Ends every request that waits (the daemon is stopping).
  virtual void Shutdown() = 0;
};

}  // namespace rd420
