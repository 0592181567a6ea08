#pragma once

#include <memory>
#include <string>
#include <thread>

#include "driver/camera_backend.h"
#include "driver/device_server.h"

namespace rd420 {

// One camera back-end served as RD-420-0 by an in-process daemon in a
// private temporary directory, for as long as the object lives. Tests and
// benchmarks use it to reach the camera object directly (faults, counters)
// while the programs' code talks to it through the socket transport.
class ServedCamera {
 public:
  explicit ServedCamera(std::unique_ptr<CameraBackend> camera);
  ~ServedCamera();
  ServedCamera(const ServedCamera&) = delete;
  ServedCamera& operator=(const ServedCamera&) = delete;

  const std::string& Directory() const { return directory_; }

 private:
  std::string directory_;
  std::unique_ptr<DeviceServer> server_;
  std::thread thread_;
};

}  // namespace rd420
