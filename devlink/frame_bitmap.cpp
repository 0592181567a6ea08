#include "devlink/frame_bitmap.h"

#include <algorithm>
#include <new>

#include "devlink/convert_frame.h"
#include "platform/byte_order.h"

namespace rd420 {

bool FrameBitmap::Allocate(FrameGeometry geometry) {
  try {
    block_.assign(kHeaderBytes + geometry.BgrBytes(), 0);
  } catch (const std::bad_alloc&) {
    block_.clear();
    geometry_ = {};
    return false;
  }
  geometry_ = geometry;
  uint8_t* header = block_.data();
  StoreLe32(header + 0, kHeaderBytes);                                 // biSize
  StoreLe32(header + 4, static_cast<uint32_t>(geometry.width));        // biWidth
  StoreLe32(header + 8, static_cast<uint32_t>(geometry.height));       // biHeight, bottom-up
  StoreLe16(header + 12, 1);                                           // biPlanes
  StoreLe16(header + 14, 24);                                          // biBitCount
  StoreLe32(header + 16, 0);                                           // biCompression BI_RGB
  StoreLe32(header + 20, static_cast<uint32_t>(geometry.BgrBytes()));  // biSizeImage
  StoreLe32(header + 24, static_cast<uint32_t>(pelsPerMeter_));        // biXPelsPerMeter
  StoreLe32(header + 28, static_cast<uint32_t>(pelsPerMeter_));        // biYPelsPerMeter
  // biClrUsed and biClrImportant stay 0.
  return true;
}

void FrameBitmap::ConvertFrom(std::span<const uint8_t> frame) {
  const size_t length = std::min(frame.size(), geometry_.FrameBytes());
  ConvertFrame(Pixels().data(), frame.data(), length);
}

std::span<const uint8_t> FrameBitmap::Pixels() const {
  return Block().subspan(std::min(kHeaderBytes, block_.size()));
}

std::span<uint8_t> FrameBitmap::Pixels() {
  return std::span<uint8_t>(block_).subspan(std::min(kHeaderBytes, block_.size()));
}

}  // namespace rd420
