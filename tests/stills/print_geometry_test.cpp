// Where the picture prints: the sample page's drawing and the placement on
// the sheet, over papers, orientations, margins, size modes and positions.
#include "stills/print_geometry.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace rd420::stills {
namespace {

// The portrait sample page of a paper, its long side 300 pixels.
QSize AreaFor(const PrintSettings& settings) {
  const int shortSide = std::min(settings.paperWidth, settings.paperHeight);
  const int longSide = std::max(settings.paperWidth, settings.paperHeight);
  return QSize(300 * shortSide / longSide, 300);
}

// Catches: the defaults on A4 not filling the free width at 3:4, centred.
TEST(PrintGeometry, DefaultsOnA4FillTheWidthCentred) {
  const PrintSettings settings;
  const PreviewLayout preview = LayOutPreview(settings, QSize(212, 300));
  // Margins 212 * 5 / 210 = 5 pixels; free width 202, height 202 * 3 / 4.
  EXPECT_EQ(preview.picture, QRect(5, 5 + (290 - 151) / 2, 202, 151));
  EXPECT_EQ(preview.printedWidthMm, 200);   // 210 * 202 / 212
  EXPECT_EQ(preview.printedHeightMm, 149);  // 151 * 297 / 300
  const QRect sheet = PlaceOnPage(settings, 200, 149, QSize(2100, 2970));
  EXPECT_EQ(sheet, QRect(50, 50 + (2870 - 1490) / 2, 2000, 1490));
}

struct Paper {
  const char* name;
  int width, height;  // portrait, 1/100 mm
};
struct Margins {
  int left, top, right, bottom;
};
struct SizeMode {
  bool fit, keep;
  int widthMm, heightMm;
};

// Catches: a position in the wrong cell, margins taken from the wrong side,
// a size off its mode or proportion (a 16:9 picture kept at 4:3), a sample page that shows the
// picture elsewhere than it prints, or a fitted picture past the margins.
TEST(PrintGeometry, EveryPositionOnEveryPaperMatchesTheSampleAndTheMargins) {
  const Paper papers[] = {{"A4", 21000, 29700}, {"Letter", 21590, 27940}, {"A3", 29700, 42000}};
  const Margins marginsList[] = {{5, 5, 5, 5}, {20, 10, 5, 30}};
  const SizeMode modes[] = {
      {true, true, 0, 0}, {true, false, 0, 0}, {false, true, 180, 0}, {false, false, 100, 50}};
  const QSize aspects[] = {{4, 3}, {16, 9}};
  for (const QSize aspect : aspects) {
    for (const Paper& paper : papers) {
      for (const bool landscape : {false, true}) {
        for (const Margins& margins : marginsList) {
          for (const SizeMode& mode : modes) {
            for (int position = 1; position <= 9; ++position) {
              PrintSettings s;
              s.paperWidth = landscape ? paper.height : paper.width;
              s.paperHeight = landscape ? paper.width : paper.height;
              s.marginLeftMm = margins.left;
              s.marginTopMm = margins.top;
              s.marginRightMm = margins.right;
              s.marginBottomMm = margins.bottom;
              s.fitToPage = mode.fit;
              s.keepProportion = mode.keep;
              s.widthMm = mode.widthMm != 0 ? mode.widthMm : 180;
              s.heightMm = mode.heightMm != 0 ? mode.heightMm : 135;
              if (mode.keep && landscape && !mode.fit) {
                s.heightMm = 100;  // landscape keeps the proportion from the height
              }
              s.position = position;
              s.aspectWidth = aspect.width();
              s.aspectHeight = aspect.height();
              SCOPED_TRACE(::testing::Message()
                           << aspect.width() << ":" << aspect.height() << " " << paper.name
                           << (landscape ? " landscape" : " portrait") << " margins "
                           << margins.left << "," << margins.top << "," << margins.right << ","
                           << margins.bottom << " fit " << mode.fit << " keep " << mode.keep
                           << " position " << position);

              const PreviewLayout preview = LayOutPreview(s, AreaFor(s));
              EXPECT_EQ(preview.page.width() > preview.page.height(), landscape);
              const int wMm = preview.printedWidthMm;
              const int hMm = preview.printedHeightMm;
              const int paperWmm = s.paperWidth / 100;
              const int paperHmm = s.paperHeight / 100;
              const int freeW = paperWmm - s.marginLeftMm - s.marginRightMm;
              const int freeH = paperHmm - s.marginTopMm - s.marginBottomMm;
              // Sizes, to the sample's pixel (about 1.4 mm on A3).
              if (mode.fit && !mode.keep) {
                EXPECT_NEAR(wMm, freeW, 3);
                EXPECT_NEAR(hMm, freeH, 3);
              } else if (mode.fit) {
                EXPECT_LE(wMm, freeW + 1);
                EXPECT_LE(hMm, freeH + 1);
                EXPECT_TRUE(std::abs(wMm - freeW) <= 3 || std::abs(hMm - freeH) <= 3);
              } else if (!mode.keep) {
                EXPECT_NEAR(wMm, 100, 3);
                EXPECT_NEAR(hMm, 50, 3);
              } else if (landscape) {
                EXPECT_NEAR(hMm, 100, 3);
              } else {
                EXPECT_NEAR(wMm, 180, 3);
              }
              if (mode.keep) {
                EXPECT_NEAR(wMm * aspect.height(), hMm * aspect.width(), 4 * aspect.width())
                    << wMm << " x " << hMm;
              }

              // A sheet of tenths of a millimetre.
              const QSize sheetSize(s.paperWidth / 10, s.paperHeight / 10);
              const QRect place = PlaceOnPage(s, wMm, hMm, sheetSize);
              // The printer's pixels per millimetre are taken from whole
              // millimetres of paper (215 for Letter's 215.9).
              EXPECT_NEAR(place.width(), wMm * 10, wMm * 10 / 200 + 1);
              EXPECT_NEAR(place.height(), hMm * 10, hMm * 10 / 200 + 1);
              const int x0 = s.marginLeftMm * 10;
              const int x1 = sheetSize.width() - s.marginRightMm * 10;
              const int y0 = s.marginTopMm * 10;
              const int y1 = sheetSize.height() - s.marginBottomMm * 10;
              const int column = (position - 1) % 3;
              const int row = (position - 1) / 3;
              const int gapLeft = place.left() - x0;
              const int gapRight = x1 - (place.left() + place.width());
              const int gapTop = place.top() - y0;
              const int gapBottom = y1 - (place.top() + place.height());
              // Against its edge in the first and last cell, centred (to
              // the pixel the halving drops) in the middle one.
              const int across[] = {gapLeft, std::abs(gapLeft - gapRight) / 2, gapRight};
              const int down[] = {gapTop, std::abs(gapTop - gapBottom) / 2, gapBottom};
              EXPECT_EQ(across[column], 0) << gapLeft << " " << gapRight;
              EXPECT_EQ(down[row], 0) << gapTop << " " << gapBottom;

              // The sample shows the picture where it prints: the same share
              // of the page from the left and from the top, to a few pixels.
              const double sampleX =
                  (preview.picture.left() + preview.picture.width() / 2.0) / preview.page.width();
              const double sampleY =
                  (preview.picture.top() + preview.picture.height() / 2.0) / preview.page.height();
              EXPECT_NEAR((place.left() + place.width() / 2.0) / sheetSize.width(), sampleX, 0.02);
              EXPECT_NEAR((place.top() + place.height() / 2.0) / sheetSize.height(), sampleY, 0.02);
            }
          }
        }
      }
    }
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
