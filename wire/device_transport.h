#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace rd420 {

struct IoctlResult {
  bool ok = false;
  uint32_t bytesReturned = 0;
  // The driver gave no answer within the request's time-out: not a camera
  // that failed, a driver (daemon) that no longer runs.
  bool noAnswer = false;
  // The daemon turned the connection away: it has too many open.
  bool refused = false;
};

// One open handle on a camera device node. Requests on one handle run one
// at a time (callers on several threads are serialised); several handles
// may be open on the same camera at once.
class DeviceHandle {
 public:
  virtual ~DeviceHandle() = default;
  // Runs one I/O-control request; writes at most out.size() bytes.
  virtual IoctlResult Ioctl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) = 0;
  // Ends the request in progress at once, whatever the driver does, and
  // fails every later one: the handle is dead afterwards. Safe from any
  // thread, also while another thread sits in Ioctl.
  virtual void Cancel() = 0;
};

// Opens handles on device nodes by name ("RD-420-3"). Safe from any thread.
class DeviceTransport {
 public:
  virtual ~DeviceTransport() = default;
  // Null when no such device exists or it cannot be opened.
  virtual std::unique_ptr<DeviceHandle> Open(std::string_view name) = 0;
};

}  // namespace rd420
