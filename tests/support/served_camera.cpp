#include "support/served_camera.h"

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <stdexcept>

namespace rd420 {

ServedCamera::ServedCamera(std::unique_ptr<CameraBackend> camera) {
  std::string pattern = (std::filesystem::temp_directory_path() / "rd420-served-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary directory");
  }
  directory_ = pattern;
  std::map<int, std::unique_ptr<CameraBackend>> cameras;
  cameras[0] = std::move(camera);
  server_ = std::make_unique<DeviceServer>(directory_, std::move(cameras));
  if (!server_->Start()) {
    throw std::runtime_error("the in-process daemon did not start");
  }
  thread_ = std::thread([this] { server_->Run(); });
}

ServedCamera::~ServedCamera() {
  server_->Stop();
  thread_.join();
  server_.reset();
  std::filesystem::remove_all(directory_);
}

}  // namespace rd420
