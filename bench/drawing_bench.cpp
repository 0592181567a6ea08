// The presenter's drawing: one undo and one redo step on a drawing of
// 10,000 points (100 freehand strokes of 100 points), undoing a clear of
// all of it, an undo with the next frame painted, and painting a drawing
// of 50 strokes over a 1024 x 768 picture, as every live frame does
// (beside the frame's own draw, for scale).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <chrono>

#include "sample_drawing.h"
#include "viewer/presenter/drawing.h"

namespace {

using rd420::bench::FillDrawing;
using rd420::viewer::Drawing;
using rd420::viewer::PictureStage;

constexpr QSize kPicture(1024, 768);

// Times `step` alone; `back` puts the drawing back, untimed.
template <typename Step, typename Back>
void TimeSteps(benchmark::State& state, Step step, Back back) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    step();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    back();
  }
}

void BM_UndoOneStroke(benchmark::State& state) {
  Drawing drawing;
  FillDrawing(drawing, 100, 100);
  TimeSteps(
      state, [&] { drawing.Undo(); }, [&] { drawing.Redo(); });
}
BENCHMARK(BM_UndoOneStroke)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_RedoOneStroke(benchmark::State& state) {
  Drawing drawing;
  FillDrawing(drawing, 100, 100);
  drawing.Undo();
  TimeSteps(
      state, [&] { drawing.Redo(); }, [&] { drawing.Undo(); });
}
BENCHMARK(BM_RedoOneStroke)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The largest step there is: all 100 strokes back at once.
void BM_UndoClear(benchmark::State& state) {
  Drawing drawing;
  FillDrawing(drawing, 100, 100);
  drawing.Clear();
  TimeSteps(
      state, [&] { drawing.Undo(); }, [&] { drawing.Redo(); });
}
BENCHMARK(BM_UndoClear)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What the user waits for: the step and the next live frame painted with
// it. Arg 0: one stroke undone (the drawing painted again where it was);
// 1: a clear of all 100 strokes undone (all of it painted again).
void BM_UndoAndPaint(benchmark::State& state) {
  QImage frame(kPicture, QImage::Format_RGB32);
  frame.fill(QColor(90, 110, 130));
  QImage target(kPicture, QImage::Format_RGB32);
  Drawing drawing;
  FillDrawing(drawing, 100, 100);
  if (state.range(0) != 0) {
    drawing.Clear();
  }
  PictureStage stage;
  stage.AddLayer(&drawing);
  const auto paint = [&] {
    QPainter painter(&target);
    stage.Draw(painter, frame, QRectF(target.rect()));
  };
  paint();
  TimeSteps(
      state,
      [&] {
        drawing.Undo();
        paint();
      },
      [&] {
        drawing.Redo();
        paint();
      });
}
BENCHMARK(BM_UndoAndPaint)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Arg 0: the frame alone; 1: the frame and a drawing of 50 strokes of
// 100 points, drawn through the stage as the picture control does.
void BM_PaintFrame(benchmark::State& state) {
  QImage frame(kPicture, QImage::Format_RGB32);
  frame.fill(QColor(90, 110, 130));
  QImage target(kPicture, QImage::Format_RGB32);
  Drawing drawing;
  FillDrawing(drawing, 50, 100);
  PictureStage stage;
  if (state.range(0) != 0) {
    stage.AddLayer(&drawing);
  }
  for (auto _ : state) {
    QPainter painter(&target);
    stage.Draw(painter, frame, QRectF(target.rect()));
  }
}
BENCHMARK(BM_PaintFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
