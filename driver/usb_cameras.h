#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "driver/device_server.h"
#include "driver/usb_api.h"
#include "driver/usb_camera.h"

namespace rd420 {

// The udev rule that gives the logged-in user the camera, as the
// permission line names it.
inline constexpr char kUdevRulePath[] =
    "70-rd420.rules (in /usr/lib/udev/rules.d or /usr/local/lib/udev/rules.d once installed, "
    "resources/udev in the source)";

// Keeps one device node per camera of one VID:PID: numbers the cameras in
// bus order, and removes and restores a camera's node as it is unplugged
// and plugged in again, under the same number. Runs the USB event thread,
// which also looks at the bus: on each hot-plug notice where libusb has
// them, and every `rescanInterval` where it has none or while a camera
// there could not be served. The bus is only looked at on that thread (and
// by Scan before Start).
class UsbCameras {
 public:
  struct Options {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::chrono::milliseconds rescanInterval{1000};
  };
  // Gets one line per arrival, departure and problem, on the event thread.
  using Report = std::function<void(const std::string& line)>;

  UsbCameras(UsbApi& api, DeviceServer& server, Options options, Report report);
  ~UsbCameras();
  UsbCameras(const UsbCameras&) = delete;
  UsbCameras& operator=(const UsbCameras&) = delete;

  // Looks at the bus once. Before the server starts, so the cameras there
  // open their nodes with it, numbered 0, 1, ... in bus order. Returns how
  // many cameras are served.
  int Scan();
  // Starts the event thread; false when it cannot be started.
  bool Start();
  // Ends the event thread. After the server's Shutdown: the reads it
  // cancels need the event thread to hear that they ended.
  void Stop();

 private:
  struct Slot {
    UsbLocation location;
    uint8_t address = 0;
    UsbCamera* camera = nullptr;  // owned by the server
    bool present = false;
  };

  void Run(std::stop_token stop);
  void RequestScan();
  std::optional<int> NumberFor(const UsbLocation& location) const;
  std::string Describe(const UsbCandidate& candidate) const;

  UsbApi& api_;
  DeviceServer& server_;
  const Options options_;
  const Report report_;
  bool hotplug_ = false;
  std::atomic<bool> scanRequested_{false};
  std::map<int, Slot> slots_;
  // Devices (location, address) whose problem was told once already.
  std::set<std::pair<UsbLocation, uint8_t>> told_;
  std::jthread thread_;
};

}  // namespace rd420
