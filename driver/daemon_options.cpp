#include "driver/daemon_options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

#include "driver/control_command.h"
#include "wire/ioctl_codes.h"

namespace rd420 {

const char kDaemonUsage[] =
    "usage: rd420d [--simulate | --usb VID:PID] [--dir DIR] [options]\n"
    "  --dir DIR             device directory (default $RD420_DEVICE_DIR,\n"
    "                        else $XDG_RUNTIME_DIR/rd420, else /tmp/rd420-<uid>)\n"
    "  --usb VID:PID         serve the real cameras with this vendor and product id\n"
    "                        (hexadecimal, as lsusb shows them)\n"
    "  --record FILE         with --usb: write every USB transfer to FILE\n"
    "  --record-headers-only leave the frames' bytes out of the recording\n"
    "                        (each keeps its length and digest)\n"
    "  --replay FILE         serve the camera of a recorded USB session\n"
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

// Four hexadecimal digits, as lsusb shows an id.
std::optional<uint16_t> ParseUsbId(std::string_view text) {
  if (text.size() != 4 || !std::all_of(text.begin(), text.end(),
                                       [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(std::stoul(std::string(text), nullptr, 16));
}

enum : int {
  kSimulate = 256,
  kUsb,
  kDir,
  kInstances,
  kAspect,
  kVariant,
  kBusyPolls,
  kFullSpeed,
  kFps,
  kFunctionsInactive,
  kRecord,
  kRecordHeadersOnly,
  kReplay,
};
const option kOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"simulate", no_argument, nullptr, kSimulate},
    {"usb", required_argument, nullptr, kUsb},
    {"dir", required_argument, nullptr, kDir},
    {"instances", required_argument, nullptr, kInstances},
    {"aspect", required_argument, nullptr, kAspect},
    {"variant", required_argument, nullptr, kVariant},
    {"busy-polls", required_argument, nullptr, kBusyPolls},
    {"full-speed", no_argument, nullptr, kFullSpeed},
    {"fps", required_argument, nullptr, kFps},
    {"functions-inactive", no_argument, nullptr, kFunctionsInactive},
    {"record", required_argument, nullptr, kRecord},
    {"record-headers-only", no_argument, nullptr, kRecordHeadersOnly},
    {"replay", required_argument, nullptr, kReplay},
    {nullptr, 0, nullptr, 0},
};

const char* ApplyUsb(std::string_view v, DaemonOptions& options) {
  const size_t colon = v.find(':');
  const std::optional<uint16_t> vendor = ParseUsbId(v.substr(0, colon));
  const std::optional<uint16_t> product =
      colon == std::string_view::npos ? std::nullopt : ParseUsbId(v.substr(colon + 1));
  if (!vendor || !product) {
    return "--usb takes VID:PID, four hexadecimal digits each, as lsusb shows them";
  }
  options.simulate = false;
  options.usbVendorId = *vendor;
  options.usbProductId = *product;
  return nullptr;
}

// Applies one option of kOptions with its value `v`; the line for the
// user when the value is not one it takes, else null.
const char* ApplyOption(int option, std::string_view v, DaemonOptions& options) {
  switch (option) {
    case 'h':
      options.help = true;
      break;
    case kSimulate:
      options.simulate = true;
      break;
    case kUsb:
      return ApplyUsb(v, options);
    case kDir:
      options.directory = v;
      break;
    case kInstances:
      return ParseInstances(v, options.instances)
                 ? nullptr
                 : "--instances takes numbers 0 to 31 separated by commas";
    case kAspect:
      if (v != "4:3" && v != "16:9") {
        return "--aspect takes 4:3 or 16:9";
      }
      options.camera.aspect169 = v == "16:9";
      break;
    case kVariant:
      if (v != "0" && v != "1") {
        return "--variant takes 0 or 1";
      }
      options.camera.variant = v == "1";
      break;
    case kBusyPolls: {
      const std::optional<int> polls = sim::ParseCount(v);
      if (!polls) {
        return "--busy-polls takes a number of polls";
      }
      options.camera.busyPolls = *polls;
      break;
    }
    case kFullSpeed:
      options.camera.fullSpeed = true;
      break;
    case kFps: {
      const std::optional<double> fps = sim::ParseFrameRate(v);
      if (!fps) {
        return "--fps takes 0 or a frame rate from 0.1 to 1000";
      }
      options.camera.fps = *fps;
      break;
    }
    case kFunctionsInactive:
      options.camera.functionsInactive = true;
      break;
    case kRecord:
      options.recordPath = v;
      break;
    case kRecordHeadersOnly:
      options.recordHeadersOnly = true;
      break;
    case kReplay:
      options.simulate = false;
      options.replayPath = v;
      break;
  }
  return nullptr;
}

// The options that only go together, checked once all are read.
const char* CheckCombination(const DaemonOptions& options) {
  const bool usb = options.usbVendorId != 0 || options.usbProductId != 0;
  if ((!options.recordPath.empty() || options.recordHeadersOnly) && (options.simulate || !usb)) {
    return "--record and --record-headers-only go with --usb VID:PID";
  }
  if (options.recordHeadersOnly && options.recordPath.empty()) {
    return "--record-headers-only needs --record FILE";
  }
  if (!options.replayPath.empty() && usb) {
    return "--replay serves a recorded camera; leave --usb out";
  }
  return nullptr;
}

}  // namespace

bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options,
                        std::string& error) {
  // 0 makes getopt start afresh, so the parser can run more than once in
  // one process; "+" stops at the first operand instead of reordering argv,
  // which is the caller's; ":" reports a missing value apart.
  optind = 0;
  opterr = 0;
  char* const* args = const_cast<char* const*>(argv);
  for (int c; (c = getopt_long(argc, args, "+:h", kOptions, nullptr)) != -1;) {
    if (c == ':') {
      error = std::string(argv[optind - 1]) + " needs a value";
      return false;
    }
    if (c == '?') {
      error = "unknown option " + (optopt > 0 && optopt < 256
                                       ? std::string("-") + static_cast<char>(optopt)
                                       : std::string(argv[optind - 1]));
      return false;
    }
    if (const char* wrong = ApplyOption(c, optarg != nullptr ? optarg : "", options)) {
      error = wrong;
      return false;
    }
  }
  if (optind < argc) {
    error = "unexpected argument " + std::string(argv[optind]);
    return false;
  }
  if (const char* wrong = CheckCombination(options)) {
    error = wrong;
    return false;
  }
  return true;
}

}  // namespace rd420
