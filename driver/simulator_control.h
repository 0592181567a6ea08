#pragma once

#include <map>
#include <string>

#include "driver/device_server.h"
#include "driver/simulated_camera.h"

namespace rd420::sim {

// Carries out the control socket's commands on the simulated cameras: the
// faults and run-time changes tests inject, and the `state` report. Runs on
// the server's loop thread, one command at a time.
class SimulatorControl {
 public:
  // Borrows the server and the cameras, which the server owns.
  SimulatorControl(DeviceServer& server, std::map<int, SimulatedCamera*> cameras)
      : server_(server), cameras_(std::move(cameras)) {}

  // One command line in, one answer line out, starting "ok" or "error".
  std::string Execute(const std::string& line);

 private:
  DeviceServer& server_;
  const std::map<int, SimulatedCamera*> cameras_;
};

}  // namespace rd420::sim
