#include "platform/newest_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace rd420 {
namespace {

// Catches: a picture drawn upside down, or with red and blue swapped, in
// the vector steps or in the plain tail of a row.
TEST(NewestPicture, TurnsBottomUpBgrRowsTheRightWayUp) {
  constexpr int kWidth = 9;
  constexpr int kHeight = 2;
  std::vector<uint8_t> rows;  // bottom row first, blue green red
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      rows.insert(rows.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(100 + row),
                               static_cast<uint8_t>(200 + x)});
    }
  }
  NewestPicture<int> newest;
  newest.Put(rows, QSize(kWidth, kHeight), 0);
  const QImage picture = newest.Newest().picture;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      EXPECT_EQ(picture.pixel(x, y), qRgb(200 + x, 100 + (kHeight - 1 - y), x)) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace rd420
