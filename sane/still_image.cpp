#include "sane/still_image.h"

#include "devlink/convert_frame.h"

namespace rd420::sane {

std::vector<uint8_t> StillImage(std::span<const uint8_t> frame, FrameGeometry geometry, Crop crop) {
  const size_t frameStride = static_cast<size_t>(geometry.width) * 2;
  const size_t outStride = static_cast<size_t>(crop.width) * 3;
  std::vector<uint8_t> bgrRow(static_cast<size_t>(geometry.width) * 3);
  std::vector<uint8_t> image(outStride * static_cast<size_t>(crop.height));
  for (int row = 0; row < crop.height; ++row) {
    const size_t frameRow = static_cast<size_t>(geometry.height - 1 - (crop.y + row));
    ConvertFrame(bgrRow.data(), frame.data() + frameRow * frameStride, frameStride);
    const uint8_t* in = bgrRow.data() + static_cast<size_t>(crop.x) * 3;
    uint8_t* out = image.data() + static_cast<size_t>(row) * outStride;
    for (int x = 0; x < crop.width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return image;
}

}  // namespace rd420::sane
