#include "platform/newest_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace rd420 {
namespace {

// Catches: a picture drawn upside down, or with red and blue swapped.
TEST(NewestPicture, TurnsBottomUpBgrRowsTheRightWayUp) {
  const std::vector<uint8_t> rows = {
      255, 0, 0,   0,   255, 0,    // bottom row: blue, green
      0,   0, 255, 255, 255, 255,  // top row: red, white
  };
  NewestPicture<int> newest;
  newest.Put(rows, QSize(2, 2), 0);
  const QImage picture = newest.Newest().picture;
  EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(picture.pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_EQ(picture.pixel(0, 1), qRgb(0, 0, 255));
  EXPECT_EQ(picture.pixel(1, 1), qRgb(0, 255, 0));
}

}  // namespace
}  // namespace rd420
