#include "capture/preview_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace rd420::capture {
namespace {

struct Place {
  int x;
  int yFromTop;
};

// Catches: a turn that mirrors only one way, moves pixels by a row, or
// swaps a pixel's colour bytes.
TEST(PreviewPicture, RotationMovesTheCamerasBottomRightPixelToTheTopLeft) {
  const FrameGeometry geometry{640, 480};
  // The camera's first row is the bottom of the picture; its last pixel is
  // the bottom right: the Y1 of the row's last V, Y0, U, Y1 group. Dark
  // grey everywhere, white there.
  std::vector<uint8_t> frame(geometry.FrameBytes());
  for (size_t i = 0; i < frame.size(); i += 4) {
    frame[i] = 128;
    frame[i + 1] = 16;
    frame[i + 2] = 128;
    frame[i + 3] = 16;
  }
  frame[(geometry.width / 2 - 1) * 4 + 3] = 255;

  for (const auto& [rotate, expected] : {std::pair{false, Place{639, 479}}, {true, Place{0, 0}}}) {
    PreviewPicture picture(geometry);
    picture.Convert(frame, rotate);
    std::vector<Place> white;
    const std::span<const uint8_t> rows = picture.Rows();
    for (int row = 0; row < geometry.height; ++row) {
      for (int x = 0; x < geometry.width; ++x) {
        const uint8_t* pixel = rows.data() + (static_cast<size_t>(row) * geometry.width + x) * 3;
        if (pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255) {
          white.push_back({x, geometry.height - 1 - row});  // rows are bottom-up
        }
      }
    }
    ASSERT_EQ(white.size(), 1u) << rotate;
    EXPECT_EQ(white[0].x, expected.x) << rotate;
    EXPECT_EQ(white[0].yFromTop, expected.yFromTop) << rotate;
  }
}

}  // namespace
}  // namespace rd420::capture
