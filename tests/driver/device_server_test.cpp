#include "driver/device_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "driver/simulated_camera.h"

namespace rd420 {
namespace {

// Catches: two plugs at once both finding the node absent, so the second
// meets the first's fresh socket and fails.
TEST(DeviceServer, PlugsAtOnceBothSucceed) {
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("rd420-plug-" + std::to_string(::getpid()));
  std::map<int, std::unique_ptr<CameraBackend>> cameras;
  cameras[0] = std::make_unique<sim::SimulatedCamera>(sim::CameraOptions{});
  DeviceServer server(directory, std::move(cameras));
  ASSERT_TRUE(server.Start());
  for (int round = 0; round < 200; ++round) {
    ASSERT_TRUE(server.SetNodePresent(0, false));
    std::atomic<int> ready{0};
    bool plugged[2] = {};
    auto plug = [&](bool& result) {
      ++ready;
      while (ready < 2) {
      }
      result = server.SetNodePresent(0, true);
    };
    std::thread first(plug, std::ref(plugged[0]));
    std::thread second(plug, std::ref(plugged[1]));
    first.join();
    second.join();
    ASSERT_TRUE(plugged[0] && plugged[1]) << "round " << round;
  }
  server.Shutdown();
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace rd420
