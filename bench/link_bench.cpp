// What one vendor request and one frame read cost through rd420d's socket
// nodes, with the simulated camera served in-process and unthrottled.
#include <benchmark/benchmark.h>

#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "driver/simulated_camera.h"
#include "support/served_camera.h"
#include "viewer/link_messages.h"
#include "wire/command_words.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"

namespace {

// One simulated camera at full speed, served for the whole benchmark run.
rd420::ServedCamera& Camera() {
  static rd420::ServedCamera camera([] {
    rd420::sim::CameraOptions options;
    options.fps = 0;
    return std::make_unique<rd420::sim::SimulatedCamera>(options);
  }());
  return camera;
}

void BM_SendCommandStatusPoll(benchmark::State& state) {
  rd420::SocketTransport transport(Camera().Directory());
  rd420::DeviceLink link(transport, rd420::viewer::ViewerLinkMessages());
  if (!link.DiscoverDevice()) {
    state.SkipWithError("no camera");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(link.SendCommand(rd420::kPollStatus));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendCommandStatusPoll)->UseRealTime();

void BM_BulkRead(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  rd420::SocketTransport transport(Camera().Directory());
  std::unique_ptr<rd420::DeviceHandle> device = transport.Open("RD-420-0");
  uint8_t reply[4];
  device->Ioctl(
      rd420::kIoctlVendorRequest,
      rd420::EncodeVendorRecord(full ? rd420::kCmdFullResolution : rd420::kCmdHalfResolution),
      reply);
  std::vector<uint8_t> frame(full ? 1280 * 960 * 2 : 640 * 480 * 2);
  const uint8_t pipe[4] = {1, 0, 0, 0};
  for (auto _ : state) {
    if (!device->Ioctl(rd420::kIoctlBulkRead, pipe, frame).ok) {
      state.SkipWithError("read failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
  state.SetLabel(full ? "1280x960 frames" : "640x480 frames");
}
BENCHMARK(BM_BulkRead)->Arg(1)->Arg(0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
