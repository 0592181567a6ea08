#include "devlink/device_directory.h"

#include <unistd.h>

#include <cstdlib>

namespace rd420 {

std::string DefaultDeviceDirectory() {
  if (const char* dir = std::getenv("RD420_DEVICE_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return std::string(runtime) + "/rd420";
  }
  return "/tmp/rd420-" + std::to_string(getuid());
}

std::string DevicePath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  path += '/';
  path += name;
  return path;
}

std::string DeviceName(int instance) {
  return "RD-420-" + std::to_string(instance);
}

}  // namespace rd420
