// Where the picture prints: the sample page's drawing and the placement on
// the sheet, over orientations, margins, size modes and positions.
#include "stills/print_geometry.h"

#include <gtest/gtest.h>

namespace rd420::stills {
namespace {

struct Case {
  const char* name;
  bool landscape;  // A4 either way
  int left, top, right, bottom;
  bool fit, keep;
  int widthMm, heightMm;
  int aspectWidth, aspectHeight;
  int position;
  QRect picture;  // on the 212 x 300 sample page, turned when landscape
  int printedWidthMm, printedHeightMm;
  QRect sheet;  // on a sheet of tenths of a millimetre
};

// Catches: a position in the wrong cell, margins taken from the wrong side
// (left and right run across a landscape page), a size off its mode, a
// fitted picture past the margins, a 16:9 picture kept at 4:3, or a sheet
// placement other than the sample's. Worked out by hand, integer division.
TEST(PrintGeometry, PlacesThePictureAsWorkedOutByHand) {
  const Case cases[] = {
      // Margins 5 px; free 202 x 290; 202 x 151; printed 210*202/212, 151*297/300.
      {"defaults", false, 5, 5, 5, 5, true, true, 180, 135, 4, 3, 5, QRect(5, 74, 202, 151), 200,
       149, QRect(50, 740, 2000, 1490)},
      // Margins 20,10,5,30 px; free 187 x 260; 187 x 187*3/4.
      {"portrait fit keep", false, 20, 10, 5, 30, true, true, 0, 0, 4, 3, 1,
       QRect(20, 10, 187, 140), 185, 138, QRect(200, 100, 1850, 1380)},
      {"portrait fit stretched", false, 20, 10, 5, 30, true, false, 0, 0, 4, 3, 8,
       QRect(20, 10, 187, 260), 185, 257, QRect(200, 100, 1850, 2570)},
      // Free 202 x 290; width 212*180/210 = 181, height 181*9/16 = 101.
      {"portrait size 16:9", false, 5, 5, 5, 5, false, true, 180, 0, 16, 9, 5,
       QRect(15, 99, 181, 101), 179, 99, QRect(155, 990, 1790, 990)},
      // 300 across, 212 down; free 275 x 172; height 172 would be 305 wide,
      // so the width fits: 275 x 275*9/16 = 154.
      {"landscape fit keep 16:9", true, 20, 10, 5, 30, true, true, 0, 0, 16, 9, 9,
       QRect(20, 28, 275, 154), 272, 152, QRect(200, 280, 2720, 1520)},
      // 300*100/297 = 101 across, 212*50/210 = 50 down, against the right.
      {"landscape size", true, 20, 10, 5, 30, false, false, 100, 50, 4, 3, 3,
       QRect(194, 10, 101, 50), 99, 49, QRect(1930, 100, 990, 490)},
      // Height 212*100/210 = 100, width 100*4/3 = 133; free 290 x 202.
      {"landscape size keep", true, 5, 5, 5, 5, false, true, 0, 100, 4, 3, 4,
       QRect(5, 56, 133, 100), 131, 99, QRect(50, 555, 1310, 990)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrintSettings s;
    s.paperWidth = c.landscape ? 29700 : 21000;
    s.paperHeight = c.landscape ? 21000 : 29700;
    s.marginLeftMm = c.left;
    s.marginTopMm = c.top;
    s.marginRightMm = c.right;
    s.marginBottomMm = c.bottom;
    s.fitToPage = c.fit;
    s.keepProportion = c.keep;
    s.widthMm = c.widthMm;
    s.heightMm = c.heightMm;
    s.aspectWidth = c.aspectWidth;
    s.aspectHeight = c.aspectHeight;
    s.position = c.position;
    const PreviewLayout preview = LayOutPreview(s, QSize(212, 300));
    EXPECT_EQ(preview.picture, c.picture);
    EXPECT_EQ(preview.printedWidthMm, c.printedWidthMm);
    EXPECT_EQ(preview.printedHeightMm, c.printedHeightMm);
    EXPECT_EQ(PlaceOnPage(s, c.printedWidthMm, c.printedHeightMm,
                          QSize(s.paperWidth / 10, s.paperHeight / 10)),
              c.sheet);
  }
}

// Catches: a division by zero or a picture placed on no paper.
TEST(PrintGeometry, EmptyPaperOrAreaGivesNoPicture) {
  PrintSettings noPaper;
  noPaper.paperWidth = 50;  // under one millimetre
  EXPECT_TRUE(LayOutPreview(noPaper, QSize(100, 150)).picture.isEmpty());
  EXPECT_TRUE(LayOutPreview(PrintSettings(), QSize()).picture.isEmpty());
  EXPECT_TRUE(PlaceOnPage(noPaper, 100, 75, QSize(2100, 2970)).isEmpty());
  EXPECT_TRUE(PlaceOnPage(PrintSettings(), 0, 75, QSize(2100, 2970)).isEmpty());
}

}  // namespace
}  // namespace rd420::stills
