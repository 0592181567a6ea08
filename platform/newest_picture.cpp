#include "platform/newest_picture.h"

namespace rd420 {

void CopyBottomUpRows(std::span<const uint8_t> rows, QImage& picture) {
  const int width = picture.width();
  const int height = picture.height();
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  if (rows.size() < rowBytes * static_cast<size_t>(height)) {
    return;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = rows.data() + static_cast<size_t>(height - 1 - y) * rowBytes;
    auto* target = reinterpret_cast<uint32_t*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x, source += 3) {
      target[x] = 0xFF000000u | static_cast<uint32_t>(source[2]) << 16 |
                  static_cast<uint32_t>(source[1]) << 8 | source[0];
    }
  }
}

}  // namespace rd420
