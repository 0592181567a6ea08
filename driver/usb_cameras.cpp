#include "driver/usb_cameras.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "wire/device_directory.h"
#include "wire/ioctl_codes.h"

namespace rd420 {

namespace {

// How long the event thread waits for events when hot-plug notices come;
// an Interrupt ends the wait sooner.
constexpr int kEventWaitMs = 1000;

std::string Format(const char* format, auto... values) {
  char line[512];
  std::snprintf(line, sizeof line, format, values...);
  return line;
}

}  // namespace

UsbCameras::UsbCameras(UsbApi& api, DeviceServer& server, Options options, Report report)
    : api_(api), server_(server), options_(options), report_(std::move(report)) {
}

UsbCameras::~UsbCameras() {
  Stop();
}

std::string UsbCameras::Describe(const UsbCandidate& candidate) const {
  const UsbLocation& location = candidate.Location();
  std::string ports;
  for (uint8_t port : location.ports) {
    ports += (ports.empty() ? "" : ".") + std::to_string(port);
  }
  return Format("the camera %04x:%04x at /dev/bus/usb/%03u/%03u (bus %u port %s)",
                options_.vendorId, options_.productId, unsigned{location.bus},
                unsigned{candidate.Address()}, unsigned{location.bus}, ports.c_str());
}

// The same place gets the same number; a camera at a new place takes the
// lowest number whose camera is away (most often the same camera moved to
// another socket), else the lowest number never given.
std::optional<int> UsbCameras::NumberFor(const UsbLocation& location) const {
  std::optional<int> away;
  for (const auto& [instance, slot] : slots_) {
    if (!slot.present && slot.location == location) {
      return instance;
    }
    if (!slot.present && !away) {
      away = instance;
    }
  }
  if (away) {
    return away;
  }
  for (int instance = 0; instance < kMaxDeviceInstances; ++instance) {
    if (!slots_.contains(instance)) {
      return instance;
    }
  }
  return std::nullopt;
}

int UsbCameras::Scan() {
  std::vector<std::unique_ptr<UsbCandidate>> found =
      api_.List(options_.vendorId, options_.productId);
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a->Location() < b->Location(); });
  // Departures first, so a camera back at its place finds its number free.
  std::vector<bool> served(found.size(), false);
  for (auto& [instance, slot] : slots_) {
    if (!slot.present) {
      continue;
    }
    const auto same = std::find_if(found.begin(), found.end(), [&](const auto& candidate) {
      return candidate->Location() == slot.location && candidate->Address() == slot.address;
    });
    if (same != found.end()) {
      served[same - found.begin()] = true;
      continue;
    }
    slot.camera->Detach();
    server_.SetNodePresent(instance, false);
    slot.present = false;
    report_(Format("rd420d: %s unplugged", DeviceName(instance).c_str()));
  }
  // A device that has left is forgotten with its problem, so the periodic
  // look that the problem keeps up ends with it.
  std::erase_if(told_, [&](const auto& key) {
    return std::none_of(found.begin(), found.end(), [&](const auto& candidate) {
      return candidate->Location() == key.first && candidate->Address() == key.second;
    });
  });
  for (size_t i = 0; i < found.size(); ++i) {
    if (served[i]) {
      continue;
    }
    UsbCandidate& candidate = *found[i];
    const auto key = std::make_pair(candidate.Location(), candidate.Address());
    int error = LIBUSB_SUCCESS;
    std::unique_ptr<UsbDevice> device = candidate.Open(error);
    const std::optional<int> number = device ? NumberFor(candidate.Location()) : std::nullopt;
    if (!number) {
      // Tried again at every look at the bus, but told only once.
      if (!told_.insert(key).second) {
        continue;
      }
      if (device) {
        report_(Format("rd420d: %s gets no node: all %d device numbers are taken",
                       Describe(candidate).c_str(), kMaxDeviceInstances));
      } else if (error == LIBUSB_ERROR_ACCESS) {
        report_(Format(
            "rd420d: no permission to open %s; copy the udev rule %s into "
            "/etc/udev/rules.d/ with VVVV:PPPP set to %04x:%04x, then plug the "
            "camera in again",
            Describe(candidate).c_str(), kUdevRulePath, options_.vendorId, options_.productId));
      } else if (error == LIBUSB_ERROR_BUSY) {
        report_(
            Format("rd420d: %s is held by another program; it is served once that one "
                   "lets it go",
                   Describe(candidate).c_str()));
      } else {
        report_(Format("rd420d: cannot open %s: %s", Describe(candidate).c_str(),
                       libusb_strerror(error)));
      }
      continue;
    }
    Slot& slot = slots_[*number];
    bool nodeUp = false;
    if (slot.camera == nullptr) {
      auto camera = std::make_unique<UsbCamera>([this] { RequestScan(); });
      camera->Attach(std::move(device));
      UsbCamera* const borrowed = camera.get();
      // The server frees a camera it refuses (shutting down, or no node).
      if (server_.AddCamera(*number, std::move(camera))) {
        slot.camera = borrowed;
        nodeUp = true;
      } else {
        slots_.erase(*number);
      }
    } else {
      // Attached before its node comes back, so no handle opened on the
      // node can belong to the camera's earlier life.
      slot.camera->Attach(std::move(device));
      nodeUp = server_.SetNodePresent(*number, true);
      if (!nodeUp) {
        slot.camera->Detach();
      }
    }
    if (!nodeUp) {
      // Tried again at every look at the bus, but told only once.
      if (told_.insert(key).second) {
        report_(Format("rd420d: %s gets no node %s; it is tried again at the next look at the bus",
                       Describe(candidate).c_str(), DeviceName(*number).c_str()));
      }
      continue;
    }
    told_.erase(key);
    slot.location = candidate.Location();
    slot.address = candidate.Address();
    slot.present = true;
    report_(Format("rd420d: %s is %s", DeviceName(*number).c_str(), Describe(candidate).c_str()));
  }
  return static_cast<int>(std::count_if(slots_.begin(), slots_.end(),
                                        [](const auto& entry) { return entry.second.present; }));
}

bool UsbCameras::Start() {
  hotplug_ = api_.HasHotplug() &&
             api_.WatchHotplug(options_.vendorId, options_.productId, [this] { RequestScan(); });
  // A camera that came between Scan and the watch has sent no notice.
  RequestScan();
  try {
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
  } catch (const std::system_error& failure) {
    report_(std::string("rd420d: cannot start the USB event thread: ") + failure.what());
    return false;
  }
  return true;
}

void UsbCameras::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    api_.Interrupt();
    thread_.join();
  }
}

void UsbCameras::RequestScan() {
  scanRequested_ = true;
  api_.Interrupt();
}

void UsbCameras::Run(std::stop_token stop) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point nextScan = Clock::now() + options_.rescanInterval;
  while (!stop.stop_requested()) {
    const auto untilScan =
        std::chrono::ceil<std::chrono::milliseconds>(nextScan - Clock::now()).count();
    // A camera that failed to open (held by another program, say) sends no
    // notice when that passes, so the bus is looked at while one has.
    const bool periodic = !hotplug_ || !told_.empty();
    const int waitMs =
        periodic ? static_cast<int>(std::clamp<int64_t>(untilScan, 0, kEventWaitMs)) : kEventWaitMs;
    api_.HandleEvents(waitMs);
    if (stop.stop_requested()) {
      break;
    }
    const bool due = periodic && Clock::now() >= nextScan;
    if (scanRequested_.exchange(false) || due) {
      Scan();
      nextScan = Clock::now() + options_.rescanInterval;
    }
  }
}

}  // namespace rd420
