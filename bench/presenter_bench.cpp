// What the spotlight, the mask and compare add to drawing one live frame,
// offscreen and without the camera: the stage drawn into a picture of the
// display mode's size, as the picture control draws it, and that CPU time
// as a share of one core at the camera's frame rate for the mode. Five
// runs each: on a shared machine the least ("_min") is the cost, the rest
// is the other load.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "platform/process_usage.h"
#include "viewer/main_window.h"
#include "viewer/presenter/compare.h"
#include "viewer/presenter/focus.h"

namespace {

using rd420::viewer::PresenterAction;

enum Tools { kNone, kSpotlight, kSpotlightAndMask, kCompareOne, kCompareThree };

struct Mode {
  const char* name;
  QSize frame;
  QSize area;
  double framesPerSecond;  // the simulated camera's default rate at that size
};
const Mode kModes[] = {{"half window, 640x480", {640, 480}, {640, 480}, 22.61},
                       {"full screen, 1280x960 to 1440x1080", {1280, 960}, {1440, 1080}, 15}};

QImage Scene(QSize size, int shade) {
  QImage picture(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < size.width(); ++x) {
      row[x] = qRgb((x + shade) & 0xff, (y + shade) & 0xff, (x + y) & 0xff);
    }
  }
  return picture;
}

void BM_DrawFrame(benchmark::State& state) {
  const Mode& mode = kModes[state.range(0)];
  const auto tools = static_cast<Tools>(state.range(1));
  rd420::viewer::MainWindow main(true);
  QObject owner;
  rd420::viewer::PresenterActions actions(&owner, &main);
  rd420::viewer::Focus focus(main, actions);
  rd420::viewer::Compare compare(main, actions);
  if (tools == kSpotlight || tools == kSpotlightAndMask) {
    actions[PresenterAction::kSpotlightEllipse]->trigger();
  }
  if (tools == kSpotlightAndMask) {
    actions[PresenterAction::kMask]->trigger();
  }
  if (tools == kCompareOne || tools == kCompareThree) {
    const int shown = tools == kCompareOne ? 1 : 3;
    actions[PresenterAction::kCompare]->trigger();
    for (int index = 0; index < shown; ++index) {
      compare.Keep(Scene(mode.frame, 40 * (index + 1)));
      compare.Toggle(index);
    }
  }
  const QImage frame = Scene(mode.frame, 0);
  QImage window(mode.area, QImage::Format_RGB32);
  const QRectF area(QPointF(0, 0), mode.area);
  const rd420::viewer::PictureStage& stage = main.View()->Stage();
  // Qt's raster engine shares large fills out to its thread pool: the
  // process's CPU time counts the helpers too.
  const double cpuBefore = rd420::ProcessCpuSeconds();
  for (auto _ : state) {
    QPainter painter(&window);
    painter.fillRect(window.rect(), Qt::black);
    stage.Draw(painter, frame, area);
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
  }
  const double cpuUs =
      (rd420::ProcessCpuSeconds() - cpuBefore) * 1e6 / static_cast<double>(state.iterations());
  state.counters["cpu_us_per_frame"] = cpuUs;
  state.counters["core_percent_at_rate"] = cpuUs * mode.framesPerSecond / 1e4;
  static const char* const kNames[] = {"live picture alone", "round spotlight",
                                       "round spotlight and mask", "compare, one still",
                                       "compare, three stills (2 x 2)"};
  state.SetLabel(std::string(mode.name) + ", " + kNames[tools]);
}
BENCHMARK(BM_DrawFrame)
    ->ArgsProduct({{0, 1}, {kNone, kSpotlight, kSpotlightAndMask, kCompareOne, kCompareThree}})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("min", [](const std::vector<double>& values) {
      return *std::min_element(values.begin(), values.end());
    });

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
