// The viewer against rd420d --simulate at the camera's own frame rate,
// offscreen: the time from start-up to the first picture on screen, and the
// CPU (process CPU time per second of wall time), resident memory and the
// latency from a frame's last byte read to that frame painted (median and
// 99th percentile) while it streams at half and at full resolution: the
// picture alone, with the presenter's drawing of 50 strokes, with the
// drawing, spotlight, mask and compare together, and turned a quarter.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/message.h"
#include "platform/process_usage.h"
#include "sample_drawing.h"
#include "support/simulator_process.h"
#include "viewer/presenter/presenter.h"
#include "viewer/viewer.h"

namespace {

// Serves the viewer's events for `ms` milliseconds, waiting for them as
// the program's own event loop does.
void Serve(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

double PercentileMs(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return -1;
  }
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(fraction * (values.size() - 1));
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

void BM_ViewerStreaming(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  rd420::MessageRecorder messages;
  rd420::test::SimulatorProcess simulator;
  // The second argument: 0 the picture alone; 1 the presenter's drawing of
  // 50 strokes of 100 points over it; 2 that drawing with the spotlight,
  // the mask and compare (one still beside the live picture) on too; 3 the
  // picture alone, turned a quarter.
  const int tools = static_cast<int>(state.range(1));
  rd420::viewer::Viewer::Options options;
  options.deviceDirectory = simulator.Directory();
  // A settings file of its own: the turn is stored, and must not reach
  // the user's viewer or the next case.
  QTemporaryDir settings;
  options.settingsFile = settings.filePath(QStringLiteral("QRN_VMX.ini"));
  options.presenterTools = [](rd420::viewer::Viewer& viewer) {
    return std::make_unique<rd420::viewer::Presenter>(viewer);
  };
  rd420::viewer::Viewer viewer(std::move(options));

  QElapsedTimer sinceStart;
  sinceStart.start();
  if (!simulator.Ready() || !viewer.Start()) {
    state.SkipWithError("the viewer did not start");
    return;
  }
  auto& presenter = static_cast<rd420::viewer::Presenter&>(*viewer.Tools());
  using enum rd420::viewer::PresenterAction;
  if (tools == 3) {
    presenter.Actions()[kRotate]->trigger();
  } else if (tools >= 1) {
    rd420::bench::FillDrawing(presenter.DrawingPart().Marks(), 50, 100);
  }
  if (tools == 2) {
    presenter.Actions()[kSpotlightEllipse]->trigger();
    presenter.Actions()[kMask]->trigger();
    QImage still(1280, 960, QImage::Format_RGB32);
    still.fill(Qt::darkCyan);
    presenter.Comparison().Keep(still);
    presenter.Actions()[kCompare]->trigger();
    presenter.Comparison().Toggle(0);
  }
  while (viewer.Main()->View()->PicturesShown() == 0 && sinceStart.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  const double firstPictureMs = static_cast<double>(sinceStart.nsecsElapsed()) / 1e6;
  if (full) {
    // The 1:1 window's run: full-resolution frames through the same path.
    viewer.Pipeline().RequestRestart(rd420::kModeOneToOne);
  }
  Serve(1500);  // settle

  std::vector<double> latenciesMs;
  latenciesMs.reserve(1000);
  viewer.Main()->View()->framePainted = [&](std::chrono::steady_clock::time_point readEnd) {
    latenciesMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - readEnd)
            .count());
  };
  const int shownBefore = viewer.Main()->View()->PicturesShown();
  const double cpuBefore = rd420::ProcessCpuSeconds();
  QElapsedTimer measured;
  measured.start();
  for (auto _ : state) {
    Serve(5000);
  }
  const double seconds = measured.nsecsElapsed() / 1e9;
  viewer.Main()->View()->framePainted = nullptr;
  state.counters["cpu_percent"] = (rd420::ProcessCpuSeconds() - cpuBefore) / seconds * 100;
  state.counters["pictures_per_s"] =
      (viewer.Main()->View()->PicturesShown() - shownBefore) / seconds;
  state.counters["resident_MiB"] = rd420::ProcessResidentMiB();
  state.counters["start_to_first_picture_ms"] = firstPictureMs;
  state.counters["frames_painted"] = static_cast<double>(latenciesMs.size());
  state.counters["read_to_screen_p50_ms"] = PercentileMs(latenciesMs, 0.50);
  state.counters["read_to_screen_p99_ms"] = PercentileMs(latenciesMs, 0.99);
  state.SetLabel(
      std::string(full ? "1280x960 at the camera's rate" : "640x480 at the camera's rate") +
      (tools == 0   ? ""
       : tools == 1 ? ", 50 strokes drawn over it"
       : tools == 2 ? ", 50 strokes, spotlight, mask and compare"
                    : ", turned a quarter"));
  viewer.Exit();
}
BENCHMARK(BM_ViewerStreaming)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
