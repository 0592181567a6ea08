#include "stills/print_geometry.h"

#include <cstdint>

namespace rd420::stills {
namespace {

// Where a picture of `size` starts in a free extent from `base` of `room`,
// by its place along that axis: 0 start, 1 middle, 2 end.
int64_t Place(int64_t base, int64_t room, int64_t size, int place) {
  switch (place) {
    case 0:
      return base;
    case 1:
      return base + (room - size) / 2;
    default:
      return base + room - size;
  }
}

int Column(int position) {
  return (position - 1) % 3;
}
int Row(int position) {
  return (position - 1) / 3;
}

}  // namespace

PreviewLayout LayOutPreview(const PrintSettings& settings, QSize area) {
  const int64_t paperWidthMm = settings.paperWidth / 100;
  const int64_t paperHeightMm = settings.paperHeight / 100;
  // The picture's own proportion: 4:3 would stretch a 16:9 camera's still.
  const int64_t aspectWidth = settings.aspectWidth;
  const int64_t aspectHeight = settings.aspectHeight;
  if (paperWidthMm <= 0 || paperHeightMm <= 0 || area.isEmpty() || settings.position < 1 ||
      settings.position > 9 || aspectWidth <= 0 || aspectHeight <= 0) {
    return {};
  }
  // A landscape page is drawn turned: its width spans the area's height.
  const bool landscape = settings.Landscape();
  const int64_t across = landscape ? area.height() : area.width();
  const int64_t down = landscape ? area.width() : area.height();
  // The margins keep the sides of the page as it prints, turned or not,
  // so left and right always run across.
  const int64_t left = across * settings.marginLeftMm / paperWidthMm;
  const int64_t right = across * settings.marginRightMm / paperWidthMm;
  const int64_t top = down * settings.marginTopMm / paperHeightMm;
  const int64_t bottom = down * settings.marginBottomMm / paperHeightMm;
  const int64_t freeWidth = across - left - right;
  const int64_t freeHeight = down - top - bottom;

  int64_t width = 0;
  int64_t height = 0;
  if (settings.fitToPage) {
    // Portrait fills the free width, landscape the free height; a kept
    // proportion that would spill past the other side fits that one instead,
    // since a picture past the margins would print cut off.
    if (!settings.keepProportion) {
      width = freeWidth;
      height = freeHeight;
    } else if (!landscape) {
      width = freeWidth;
      height = width * aspectHeight / aspectWidth;
      if (height > freeHeight) {
        height = freeHeight;
        width = height * aspectWidth / aspectHeight;
      }
    } else {
      height = freeHeight;
      width = height * aspectWidth / aspectHeight;
      if (width > freeWidth) {
        width = freeWidth;
        height = width * aspectHeight / aspectWidth;
      }
    }
  } else if (!landscape) {
    width = across * settings.widthMm / paperWidthMm;
    height = settings.keepProportion ? width * aspectHeight / aspectWidth
                                     : down * settings.heightMm / paperHeightMm;
  } else {
    height = down * settings.heightMm / paperHeightMm;
    width = settings.keepProportion ? height * aspectWidth / aspectHeight
                                    : across * settings.widthMm / paperWidthMm;
  }

  PreviewLayout layout;
  layout.page = QRect(0, 0, static_cast<int>(across), static_cast<int>(down));
  layout.picture = QRect(static_cast<int>(Place(left, freeWidth, width, Column(settings.position))),
                         static_cast<int>(Place(top, freeHeight, height, Row(settings.position))),
                         static_cast<int>(width), static_cast<int>(height));
  layout.printedWidthMm = static_cast<int>(paperWidthMm * width / across);
  layout.printedHeightMm = static_cast<int>(height * paperHeightMm / down);
  return layout;
}

QRect PlaceOnPage(const PrintSettings& settings, int printedWidthMm, int printedHeightMm,
                  QSize pagePixels) {
  const int64_t paperWidth = settings.paperWidth;
  const int64_t paperHeight = settings.paperHeight;
  if (paperWidth / 100 <= 0 || paperHeight / 100 <= 0 || pagePixels.isEmpty() ||
      printedWidthMm <= 0 || printedHeightMm <= 0 || settings.position < 1 ||
      settings.position > 9) {
    return {};
  }
  const int64_t horz = pagePixels.width();
  const int64_t vert = pagePixels.height();
  const int64_t width = printedWidthMm * horz / (paperWidth / 100);
  const int64_t height = printedHeightMm * vert / (paperHeight / 100);
  const int64_t x0 = settings.marginLeftMm * int64_t{100} * horz / paperWidth;
  const int64_t y0 = settings.marginTopMm * int64_t{100} * vert / paperHeight;
  const int64_t x1 = horz * (paperWidth - settings.marginRightMm * int64_t{100}) / paperWidth;
  const int64_t y1 = vert * (paperHeight - settings.marginBottomMm * int64_t{100}) / paperHeight;
  return QRect(static_cast<int>(Place(x0, x1 - x0, width, Column(settings.position))),
               static_cast<int>(Place(y0, y1 - y0, height, Row(settings.position))),
               static_cast<int>(width), static_cast<int>(height));
}

}  // namespace rd420::stills
