#pragma once

#include <sane/sane.h>

#include <memory>
#include <string>
#include <vector>

#include "devlink/socket_transport.h"
#include "sane/scanner.h"

namespace rd420::sane {

inline constexpr const char* kConfigFileName = "rd420.conf";

// The folder of the camera nodes: $RD420_DEVICE_DIR, else the
// `device-dir` line of rd420.conf in SANE's configuration folders
// ($SANE_CONFIG_DIR, ending in ':' to add the default one), else the
// programs' default.
std::string BackendDeviceDirectory();

// What the back-end holds between sane_init and sane_exit: the device list
// it last handed out and the open cameras. Used under the entry points'
// lock.
class Backend {
 public:
  explicit Backend(std::string deviceDirectory);

  // One SANE device per node that opens, null-terminated; valid until the
  // next call.
  const SANE_Device** Devices();
  // `name` is "RD-420-<n>" (with or without the "rd420:" prefix), or empty
  // for discovery's pick.
  SANE_Status Open(const char* name, Scanner** scanner);
  void Close(Scanner* scanner);

 private:
  SocketTransport transport_;
  std::vector<std::string> names_;
  std::vector<SANE_Device> devices_;
  std::vector<const SANE_Device*> deviceList_;
  std::vector<std::unique_ptr<Scanner>> scanners_;
};

}  // namespace rd420::sane
