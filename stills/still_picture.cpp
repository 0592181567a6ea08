#include "stills/still_picture.h"

#include <cstring>

namespace rd420::stills {

QImage StillPicture(const FrameBitmap& still) {
  const FrameGeometry geometry = still.Geometry();
  if (still.Empty() || geometry.width <= 0 || geometry.height <= 0) {
    return {};
  }
  const int stride = (geometry.width * 3 + 3) & ~3;
  // Rows are bottom-up: turned upright, which also copies them out.
  return QImage(still.Pixels().data(), geometry.width, geometry.height, stride,
                QImage::Format_BGR888)
      .mirrored();
}

QImage BorrowedPicture(const ImagingBitmap& still) {
  if (still.Empty()) {
    return {};
  }
  return QImage(still.Pixels().data(), still.Width(), still.Height(), still.Width() * 3,
                QImage::Format_BGR888);
}

bool ToFrameBitmap(const QImage& picture, FrameBitmap& still) {
  const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
  const size_t rowBytes = static_cast<size_t>(bgr.width()) * 3;
  if (bgr.isNull() || rowBytes % 4 != 0 || !still.Allocate({bgr.width(), bgr.height()})) {
    return false;
  }
  uint8_t* bottom = still.Pixels().data();
  for (int y = 0; y < bgr.height(); ++y) {
    std::memcpy(bottom + (bgr.height() - 1 - y) * rowBytes, bgr.constScanLine(y), rowBytes);
  }
  return true;
}

bool ToImagingBitmap(const QImage& picture, ImagingBitmap& still) {
  FrameBitmap frame(FrameBitmap::kStillPelsPerMeter);
  if (ToFrameBitmap(picture, frame) && still.Create(picture.width(), picture.height(), 24) &&
      still.ConvertFromDib(frame.Block().first(FrameBitmap::kHeaderBytes), frame.Pixels())) {
    return true;
  }
  still.Free();
  return false;
}

}  // namespace rd420::stills
