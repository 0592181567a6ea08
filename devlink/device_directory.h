#pragma once

#include <string>
#include <string_view>

namespace rd420 {

// The folder that holds the device nodes: $RD420_DEVICE_DIR, else
// $XDG_RUNTIME_DIR/rd420, else /tmp/rd420-<uid>.
std::string DefaultDeviceDirectory();

// "<dir>/RD-420-<n>" style path of a node or of the daemon's control socket.
std::string DevicePath(std::string_view directory, std::string_view name);

inline constexpr std::string_view kControlSocketName = "rd420d.control";

// "RD-420-<n>".
std::string DeviceName(int instance);

}  // namespace rd420
