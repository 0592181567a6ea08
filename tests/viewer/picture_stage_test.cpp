#include "viewer/picture_stage.h"

#include <gtest/gtest.h>

#include <cmath>

namespace rd420::viewer {
namespace {

// Catches: a still saved turned or mirrored otherwise than the picture is
// shown, which is what a presenter saves and prints.
TEST(PictureStageTest, AStillIsTurnedAsTheShownPicture) {
  QImage still(4, 3, QImage::Format_RGB32);
  for (int y = 0; y < still.height(); ++y) {
    for (int x = 0; x < still.width(); ++x) {
      still.setPixel(x, y, qRgb(40 * x, 60 * y, 0));
    }
  }
  for (int turns = 0; turns < 4; ++turns) {
    for (bool mirrored : {false, true}) {
      const Orientation orientation{turns, mirrored};
      const QImage shown = Oriented(still, orientation);
      const QTransform toShown =
          PictureToView(PictureSize(still.size()), orientation, QRectF(shown.rect()));
      for (int y = 0; y < still.height(); ++y) {
        for (int x = 0; x < still.width(); ++x) {
          const QPointF at = toShown.map(QPointF(x + 0.5, y + 0.5) / still.width());
          const QPoint pixel(static_cast<int>(std::floor(at.x())),
                             static_cast<int>(std::floor(at.y())));
          ASSERT_TRUE(shown.rect().contains(pixel)) << turns << mirrored;
          EXPECT_EQ(shown.pixel(pixel), still.pixel(x, y))
              << "turns " << turns << " mirrored " << mirrored << " at " << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace rd420::viewer
