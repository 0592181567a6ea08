#include "capture/preview_picture.h"

#include <algorithm>
#include <cstring>

#include "devlink/convert_frame.h"

namespace rd420::capture {

void RotatePicture180(std::span<uint8_t> rows, std::span<uint8_t> scratch, FrameGeometry geometry) {
  const size_t rowBytes = static_cast<size_t>(geometry.width) * 3;
  const size_t height = static_cast<size_t>(geometry.height);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* source = rows.data() + y * rowBytes;
    uint8_t* target = scratch.data() + y * rowBytes;
    for (int x = 0; x < geometry.width; ++x) {
      std::memcpy(target + (static_cast<size_t>(geometry.width) - 1 - x) * 3, source + x * 3, 3);
    }
  }
  for (size_t y = 0; y < height; ++y) {
    std::memcpy(rows.data() + y * rowBytes, scratch.data() + (height - 1 - y) * rowBytes, rowBytes);
  }
}

PreviewPicture::PreviewPicture(FrameGeometry geometry)
    : geometry_(geometry), rows_(geometry.BgrBytes(), 0), scratch_(geometry.BgrBytes(), 0) {
}

void PreviewPicture::Convert(std::span<const uint8_t> frame, bool rotate) {
  ConvertFrame(rows_.data(), frame.data(), std::min(frame.size(), geometry_.FrameBytes()));
  if (rotate) {
    RotatePicture180(rows_, scratch_, geometry_);
  }
}

}  // namespace rd420::capture
