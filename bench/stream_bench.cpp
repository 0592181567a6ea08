// The streaming pipeline's frame rate and CPU time per frame with a display
// that draws nothing, against rd420d --simulate --fps 0 (frames as fast as
// they are asked for) in its own process, so the CPU time is the
// pipeline's alone: reads, polls, conversion and the turns between threads.
#include <benchmark/benchmark.h>

#include <atomic>

#include "devlink/camera_ready.h"
#include "devlink/socket_transport.h"
#include "devlink/stream_pipeline.h"
#include "platform/process_usage.h"
#include "support/simulator_process.h"
#include "viewer/link_messages.h"

namespace {

// Converted frames are counted and dropped.
class NullDisplay : public rd420::StreamHost {
 public:
  void DrawFrame(const rd420::DisplayedFrame&) override {
    drawn.fetch_add(1);
    drawn.notify_one();
  }
  void WaitForDrawn(uint64_t count) {
    for (uint64_t now = drawn.load(); now < count; now = drawn.load()) {
      drawn.wait(now);
    }
  }
  std::atomic<uint64_t> drawn{0};
};

void BM_StreamPipeline(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  rd420::test::SimulatorProcess simulator({"--fps", "0"});
  rd420::SocketTransport transport(simulator.Directory());
  rd420::DeviceLink link(transport, rd420::viewer::ViewerLinkMessages());
  rd420::CameraStatus status;
  if (!simulator.Ready() || !link.DiscoverDevice() || !rd420::WaitCameraReady(link, status)) {
    state.SkipWithError("the simulated camera did not start");
    return;
  }
  rd420::CommandQueue commands;
  NullDisplay display;
  rd420::StreamPipeline pipeline(link, status, commands, display);
  pipeline.StartRun(full ? rd420::kModeOneToOne : rd420::kModeHalf);
  display.WaitForDrawn(10);  // past the run's start-up

  const uint64_t first = display.drawn.load();
  const double cpuBefore = rd420::ProcessCpuSeconds();
  uint64_t next = first;
  for (auto _ : state) {
    display.WaitForDrawn(++next);
  }
  const double cpu = rd420::ProcessCpuSeconds() - cpuBefore;
  const double frames = static_cast<double>(display.drawn.load() - first);
  pipeline.Shutdown();

  state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_frame"] = cpu * 1000 / frames;
  state.counters["cpu_cores_busy"] = benchmark::Counter(cpu, benchmark::Counter::kIsRate);
  state.SetLabel(full ? "1280x960, null display" : "640x480, null display");
}
BENCHMARK(BM_StreamPipeline)->Arg(1)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamPipeline)
    ->Arg(0)
    ->Iterations(1500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
