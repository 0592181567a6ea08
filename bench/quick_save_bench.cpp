// F2 in the viewer against rd420d --simulate, offscreen: the time from the
// quick-save request to the JPEG on disk and live view showing pictures
// again, at half and at full still size, and the JPEG's size beside the
// BMP's for the same picture; what following the shown picture (turned and
// mirrored) adds to a save.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "devlink/frame_bitmap.h"
#include "driver/scene_renderer.h"
#include "platform/imaging_file.h"
#include "platform/message.h"
#include "stills/still_picture.h"
#include "support/simulator_process.h"
#include "viewer/picture_stage.h"
#include "viewer/viewer.h"
#include "viewer/viewer_program.h"

namespace {

bool ServeUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

void BM_QuickSaveToLiveView(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  // At the camera's frame rate, or unthrottled: what the software itself
  // adds to the frame waits.
  const bool cameraRate = state.range(1) == 1;
  rd420::MessageRecorder messages;
  rd420::test::SimulatorProcess simulator(cameraRate ? std::vector<std::string>{}
                                                     : std::vector<std::string>{"--fps", "0"});
  QTemporaryDir folder;
  const QString quickCap = folder.filePath(QStringLiteral("QuickCap"));
  const QString settingsFile = folder.filePath(QStringLiteral("QRN_VMX.ini"));
  QSettings(settingsFile, QSettings::IniFormat).setValue(QStringLiteral("QuickCap"), quickCap);
  rd420::viewer::Viewer::Options options;
  options.deviceDirectory = simulator.Directory();
  options.settingsFile = settingsFile;
  options.stillActions = [](rd420::viewer::Viewer& viewer) {
    return rd420::viewer::ProgramStillActions(viewer);
  };
  rd420::viewer::Viewer viewer(std::move(options));
  if (!simulator.Ready() || !viewer.Start()) {
    state.SkipWithError("the viewer did not start");
    return;
  }
  viewer.Still().alwaysFull = full;
  const auto shown = [&] { return viewer.Main()->View()->PicturesShown(); };
  ServeUntil([&] { return shown() > 10; }, 10000);

  int64_t jpegBytes = 0;
  int width = 0;
  double toDiskMs = 0;
  int rounds = 0;
  for (auto _ : state) {
    QDir(quickCap).removeRecursively();
    ServeUntil([] { return false; }, 300);  // live view settles
    QElapsedTimer timer;
    timer.start();
    viewer.QuickSave();
    const int before = shown();
    const bool written = ServeUntil(
        [&] { return !QDir(quickCap).entryList({QStringLiteral("*.jpg")}).isEmpty(); }, 10000);
    toDiskMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const bool done = written && ServeUntil(
                                     [&] {
                                       return viewer.Stills().g_QuickSave_Busy == 0 &&
                                              viewer.Flags().g_Stream_Run == 1 && shown() > before;
                                     },
                                     10000);
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    ++rounds;
    if (!done || !messages.Messages().empty()) {
      state.SkipWithError("the quick save did not end in live view");
      break;
    }
    const QFileInfo saved(quickCap + QLatin1Char('/') +
                          QDir(quickCap).entryList({QStringLiteral("*.jpg")}).first());
    jpegBytes = saved.size();
    width = full ? 1280 : 640;
  }
  const int height = width * 3 / 4;
  const int64_t bmpBytes = 54 + int64_t{(width * 3 + 3) & ~3} * height;
  state.counters["to_disk_ms"] = rounds > 0 ? toDiskMs / rounds : 0;
  state.counters["jpeg_KiB"] = static_cast<double>(jpegBytes) / 1024;
  state.counters["bmp_KiB"] = static_cast<double>(bmpBytes) / 1024;
  state.counters["jpeg_per_bmp_percent"] = 100.0 * static_cast<double>(jpegBytes) / bmpBytes;
  state.SetLabel(std::string(full ? "1280x960 still" : "640x480 still") +
                 (cameraRate ? " at the camera's rate" : " unthrottled"));
  viewer.Exit();
}
BENCHMARK(BM_QuickSaveToLiveView)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The save alone, on the simulated camera's document scene: encoding,
// writing, syncing and renaming one file, and its size.
void BM_SaveStillFile(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  const auto format =
      state.range(1) == 1 ? rd420::ImageFileFormat::kJpeg : rd420::ImageFileFormat::kBmp;
  rd420::sim::SceneSettings scene;
  scene.width = full ? 1280 : 640;
  scene.height = full ? 960 : 480;
  std::vector<uint8_t> frame(static_cast<size_t>(scene.width) * scene.height * 2);
  rd420::sim::SceneRenderer().Render(scene, 1, frame);
  rd420::FrameBitmap bitmap(rd420::FrameBitmap::kStillPelsPerMeter);
  bitmap.Allocate(
      rd420::FrameGeometryFor(true, full ? rd420::Resolution::kFull : rd420::Resolution::kHalf));
  bitmap.ConvertFrom(frame);
  rd420::ImagingBitmap still;
  still.Create(scene.width, scene.height, 24);
  still.ConvertFromDib(bitmap.Block().first(rd420::FrameBitmap::kHeaderBytes), bitmap.Pixels());
  QTemporaryDir folder;
  const std::string path = folder.filePath(QStringLiteral("still")).toStdString();
  for (auto _ : state) {
    if (!rd420::SaveBitmapFile(path, still, format, 24, rd420::kJpegQualityFactor)) {
      state.SkipWithError("the save failed");
      break;
    }
  }
  state.counters["file_KiB"] =
      static_cast<double>(QFileInfo(QString::fromStdString(path)).size()) / 1024;
  state.SetLabel(std::string(full ? "1280x960 " : "640x480 ") +
                 (format == rd420::ImageFileFormat::kJpeg ? "JPEG" : "BMP"));
}
BENCHMARK(BM_SaveStillFile)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// What a save adds to follow the shown picture: the still turned a quarter
// and mirrored, and converted back into the bitmap that is saved.
void BM_StillAsShown(benchmark::State& state) {
  const bool full = state.range(0) == 1;
  rd420::ImagingBitmap still;
  still.Create(full ? 1280 : 640, full ? 960 : 480, 24);
  for (auto _ : state) {
    const QImage shown = rd420::viewer::Oriented(rd420::stills::BorrowedPicture(still), {1, true});
    rd420::ImagingBitmap saved;
    if (!rd420::stills::ToImagingBitmap(shown, saved)) {
      state.SkipWithError("the conversion failed");
      break;
    }
  }
  state.SetLabel(full ? "1280x960 turned and mirrored" : "640x480 turned and mirrored");
}
BENCHMARK(BM_StillAsShown)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
