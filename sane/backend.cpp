#include "sane/backend.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "sane/debug.h"
#include "wire/device_directory.h"
#include "wire/ioctl_codes.h"

namespace rd420::sane {
namespace {

constexpr std::string_view kNamePrefix = "rd420:";
// The camera does not name itself over the link; its node name says the
// model, and the maker is the one the suite's data source names.
constexpr const char* kVendor = "TORVELA BRIMLEX Co. Ltd";
constexpr const char* kModel = "RD-420";
constexpr const char* kType = "document camera";

std::vector<std::string> ConfigFolders() {
  std::vector<std::string> folders;
  const char* configured = std::getenv("SANE_CONFIG_DIR");
  std::string list = configured != nullptr ? configured : "";
  const bool addDefault = list.empty() || list.back() == ':';
  std::istringstream parts(list);
  for (std::string folder; std::getline(parts, folder, ':');) {
    if (!folder.empty()) {
      folders.push_back(folder);
    }
  }
  if (addDefault) {
    folders.push_back(RD420_SANE_CONFIG_DIR);
  }
  return folders;
}

// The `device-dir` of the first rd420.conf found; lines are "keyword
// value", '#' starts a comment.
std::string ConfiguredDirectory() {
  for (const std::string& folder : ConfigFolders()) {
    std::ifstream file(folder + "/" + kConfigFileName);
    if (!file) {
      continue;
    }
    for (std::string line; std::getline(file, line);) {
      line = line.substr(0, line.find('#'));
      std::istringstream words(line);
      std::string keyword, value;
      if (words >> keyword >> value && keyword == "device-dir") {
        return value;
      }
    }
    return {};
  }
  return {};
}

}  // namespace

std::string BackendDeviceDirectory() {
  if (const char* dir = std::getenv("RD420_DEVICE_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (std::string configured = ConfiguredDirectory(); !configured.empty()) {
    return configured;
  }
  return DefaultDeviceDirectory();
}

Backend::Backend(std::string deviceDirectory) : transport_(std::move(deviceDirectory)) {
  Debug(2, "device folder %s", transport_.Directory().c_str());
}

const SANE_Device** Backend::Devices() {
  names_.clear();
  for (int n = 0; n < kMaxDeviceInstances; ++n) {
    std::string name = DeviceName(n);
    if (transport_.Open(name) != nullptr) {
      names_.push_back(std::move(name));
    }
  }
  devices_.clear();
  deviceList_.clear();
  for (const std::string& name : names_) {
    devices_.push_back({name.c_str(), kVendor, kModel, kType});
  }
  for (const SANE_Device& device : devices_) {
    deviceList_.push_back(&device);
  }
  deviceList_.push_back(nullptr);
  Debug(2, "%zu camera(s) in %s", names_.size(), transport_.Directory().c_str());
  return deviceList_.data();
}

SANE_Status Backend::Open(const char* name, Scanner** scanner) {
  std::string_view wanted = name != nullptr ? name : "";
  if (wanted.starts_with(kNamePrefix)) {
    wanted.remove_prefix(kNamePrefix.size());
  }
  std::string chosen;
  if (!wanted.empty()) {
    // Only a camera's node name: anything else would reach another path.
    for (int n = 0; n < kMaxDeviceInstances; ++n) {
      if (wanted == DeviceName(n)) {
        chosen = wanted;
      }
    }
  } else {
    // As discovery does: the highest-numbered camera that opens.
    for (int n = 0; n < kMaxDeviceInstances; ++n) {
      if (transport_.Open(DeviceName(n)) != nullptr) {
        chosen = DeviceName(n);
      }
    }
  }
  if (chosen.empty()) {
    return SANE_STATUS_INVAL;
  }
  auto opened = std::make_unique<Scanner>(transport_, chosen);
  const SANE_Status status = opened->Open();
  if (status != SANE_STATUS_GOOD) {
    Debug(1, "cannot open %s", chosen.c_str());
    return status;
  }
  *scanner = opened.get();
  scanners_.push_back(std::move(opened));
  return SANE_STATUS_GOOD;
}

void Backend::Close(Scanner* scanner) {
  std::erase_if(scanners_, [scanner](const auto& open) { return open.get() == scanner; });
}

}  // namespace rd420::sane
