#pragma once

#include <cmath>

#include "viewer/presenter/drawing.h"

namespace rd420::bench {

// `strokes` freehand strokes of `points` points each, wandering over the
// picture, the same on every run.
inline void FillDrawing(viewer::Drawing& drawing, int strokes, int points) {
  for (int index = 0; index < strokes; ++index) {
    viewer::Mark mark{viewer::MarkKind::kPen, Qt::red, 1, {}, {}};
    QPointF at(0.1 + 0.8 * ((index * 37) % 100) / 100.0, 0.1 + 0.55 * ((index * 61) % 100) / 100.0);
    for (int i = 0; i < points; ++i) {
      at += QPointF(0.004 * std::cos(i * 0.21 + index), 0.004 * std::sin(i * 0.13 + index));
      mark.points.push_back(at);
    }
    drawing.Add(std::move(mark));
  }
}

}  // namespace rd420::bench
