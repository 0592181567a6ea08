#include "driver/daemon_options.h"

#include <algorithm>
#include <string_view>

#include "devlink/ioctl_codes.h"
#include "driver/control_command.h"

namespace rd420 {

const char kDaemonUsage[] =
    "usage: rd420d [--simulate | --usb VID:PID] [--dir DIR] [options]\n"
    "  --dir DIR             device directory (default $RD420_DEVICE_DIR,\n"
    "                        else $XDG_RUNTIME_DIR/rd420, else /tmp/rd420-<uid>)\n"
    "simulated camera:\n"
    "  --instances 0,3       which RD-420-<n> nodes exist (default 0)\n"
    "  --aspect 4:3|16:9     frame aspect (default 4:3)\n"
    "  --variant 0|1         model variant, status bit 12 (default 0)\n"
    "  --busy-polls N        answer the first N status polls with bit 21 set\n"
    "  --full-speed          bulk pipe packet size 64 (a USB 1.1 link)\n"
    "  --fps F               frame rate; 0 = as fast as asked (default: the\n"
    "                        camera's rate for the frame size)\n"
    "  --functions-inactive  bit 13 clear until \"Active\" (0x00480005) arrives\n";

namespace {

bool ParseInstances(std::string_view text, std::vector<int>& instances) {
  instances.clear();
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::optional<int> instance = sim::ParseCount(text.substr(0, comma));
    if (!instance || *instance >= kMaxDeviceInstances) {
      return false;
    }
    instances.push_back(*instance);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  std::sort(instances.begin(), instances.end());
  instances.erase(std::unique(instances.begin(), instances.end()), instances.end());
  return !instances.empty();
}

}  // namespace

bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options,
                        std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& out) {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--simulate") {
      options.simulate = true;
    } else if (arg == "--usb") {
      if (!value(v)) {
        return false;
      }
      options.simulate = false;
      options.usbDevice = v;
    } else if (arg == "--dir") {
      if (!value(v)) {
        return false;
      }
      options.directory = v;
    } else if (arg == "--instances") {
      if (!value(v)) {
        return false;
      }
      if (!ParseInstances(v, options.instances)) {
        error = "--instances takes numbers 0 to 31 separated by commas";
        return false;
      }
    } else if (arg == "--aspect") {
      if (!value(v)) {
        return false;
      }
      if (v != "4:3" && v != "16:9") {
        error = "--aspect takes 4:3 or 16:9";
        return false;
      }
      options.camera.aspect169 = v == "16:9";
    } else if (arg == "--variant") {
      if (!value(v)) {
        return false;
      }
      if (v != "0" && v != "1") {
        error = "--variant takes 0 or 1";
        return false;
      }
      options.camera.variant = v == "1";
    } else if (arg == "--busy-polls") {
      if (!value(v)) {
        return false;
      }
      const std::optional<int> polls = sim::ParseCount(v);
      if (!polls) {
        error = "--busy-polls takes a number of polls";
        return false;
      }
      options.camera.busyPolls = *polls;
    } else if (arg == "--full-speed") {
      options.camera.fullSpeed = true;
    } else if (arg == "--fps") {
      if (!value(v)) {
        return false;
      }
      const std::optional<double> fps = sim::ParseFrameRate(v);
      if (!fps) {
        error = "--fps takes 0 or a frame rate from 0.1 to 1000";
        return false;
      }
      options.camera.fps = *fps;
    } else if (arg == "--functions-inactive") {
      options.camera.functionsInactive = true;
    } else {
      error = "unknown option " + std::string(arg);
      return false;
    }
  }
  return true;
}

}  // namespace rd420
