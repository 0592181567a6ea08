#pragma once

#include <QRect>
#include <QSize>

namespace rd420::stills {

// What the page-setup dialog chose. Lengths in millimetres except the
// paper, in hundredths of a millimetre as the paper sizes are given; the
// paper's width and height are those of the page as it prints (a landscape
// page is wider than high).
struct PrintSettings {
  bool fitToPage = true;
  bool keepProportion = true;
  int widthMm = 180;  // the specified size
  int heightMm = 135;
  int marginLeftMm = 5;
  int marginTopMm = 5;
  int marginRightMm = 5;
  int marginBottomMm = 5;
  int position = 5;  // 1 top-left ... 9 bottom-right, rows top to bottom
  int paperWidth = 21000;
  int paperHeight = 29700;
  // The picture's proportion, kept with keepProportion: 4:3, or 16:9 for a
  // 16:9 camera, whose picture 4:3 would stretch.
  int aspectWidth = 4;
  int aspectHeight = 3;

  bool Landscape() const { return paperWidth >= paperHeight; }
};

// The sample page's drawing: where the picture stands on it and the
// printed size that drawing stands for.
struct PreviewLayout {
  QRect page;     // the sample page in the preview area's pixels
  QRect picture;  // the picture on it
  int printedWidthMm = 0;
  int printedHeightMm = 0;
};

// Lays the picture out on the sample page. `area` is the preview area, the
// size of the portrait sample; a landscape page is drawn turned by a
// quarter, so its width spans the area's height. Integer arithmetic
// throughout, so the printed size is the one the drawing shows.
PreviewLayout LayOutPreview(const PrintSettings& settings, QSize area);

// Where the picture of `printedWidthMm` x `printedHeightMm` prints on a page
// of `pagePixels` (the whole paper in device pixels), by the margins and the
// position. An empty rectangle when the paper or the size is empty.
QRect PlaceOnPage(const PrintSettings& settings, int printedWidthMm, int printedHeightMm,
                  QSize pagePixels);

}  // namespace rd420::stills
