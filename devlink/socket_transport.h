#pragma once

#include <string>

#include "wire/device_transport.h"

namespace rd420 {

// Reaches rd420d's device nodes, one UNIX socket connection per handle.
// Safe from any thread.
class SocketTransport : public DeviceTransport {
 public:
  explicit SocketTransport(std::string directory) : directory_(std::move(directory)) {}

  std::unique_ptr<DeviceHandle> Open(std::string_view name) override;
  const std::string& Directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace rd420
