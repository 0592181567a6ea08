#include "capture/overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace rd420::capture {
namespace {

// Catches: a form with the wrong separators, padding, month or year base,
// one space instead of two before the caption, or text for no box checked.
TEST(OverlayText, FormsFollowTheTwoBoxes) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::time_t at = 1228053909;  // 2008-11-30 14:05:09 UTC
  struct Row {
    bool time;
    bool caption;
    const char* text;
  };
  const Row kRows[] = {
      {true, true, "2008.11.30 14:05:09  Room 1"},
      {true, false, "2008.11.30 14:05:09"},
      {false, true, "Room 1"},
      {false, false, ""},
  };
  for (const Row& row : kRows) {
    EXPECT_EQ(OverlayText(row.time, row.caption, "Room 1", at), row.text);
  }
  unsetenv("TZ");
  tzset();
}

// Catches: a line that is not 16 pixels high, not white on black, drawn
// upside down (the descender of g must hang below the line's other ink),
// or touching the picture outside its box.
TEST(OverlaySurface, DrawsOneUprightWhiteOnBlackLineSixteenHigh) {
  DrawingSurface surface;
  ASSERT_TRUE(CreateOverlaySurface(surface, {640, 480}, nullptr));
  std::fill(surface.Pixels().begin(), surface.Pixels().end(), 0x80);
  surface.DrawText(0, 0, "Rg");
  const auto pixel = [&](int x, int yFromTop) {
    return surface.Pixels().data() + surface.RowBytes() * static_cast<size_t>(479 - yFromTop) +
           static_cast<size_t>(x) * 3;
  };
  int boxWidth = 0;
  while (boxWidth < 640 && pixel(boxWidth, 0)[0] != 0x80) {
    ++boxWidth;
  }
  // The box's corners: black from the line's top row to its 16th.
  EXPECT_EQ(pixel(0, 0)[0], 0);
  EXPECT_EQ(pixel(0, 15)[0], 0);
  EXPECT_GT(boxWidth, 12);
  EXPECT_LT(boxWidth, 30);
  int inkTop = 16;
  int inkBottomR = -1;
  int inkBottomG = -1;
  uint8_t brightest = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const uint8_t* p = pixel(x, y);
      const bool inBox = y < 16 && x < boxWidth;
      if (!inBox) {
        ASSERT_TRUE(p[0] == 0x80 && p[1] == 0x80 && p[2] == 0x80) << x << "," << y;
        continue;
      }
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << "grey levels only, at " << x << "," << y;
      brightest = std::max(brightest, p[0]);
      if (p[0] > 128) {
        inkTop = std::min(inkTop, y);
        (x < boxWidth / 2 ? inkBottomR : inkBottomG) =
            std::max(x < boxWidth / 2 ? inkBottomR : inkBottomG, y);
      }
    }
  }
  EXPECT_EQ(brightest, 255);
  EXPECT_GE(inkTop, 1);
  EXPECT_GT(inkBottomG, inkBottomR);
  EXPECT_LE(inkBottomG, 15);
}

}  // namespace
}  // namespace rd420::capture
