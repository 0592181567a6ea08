#include "platform/imaging.h"

#include <algorithm>
#include <new>

namespace rd420 {

namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t ReadU16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

bool ImagingBitmap::Create(int width, int height, int bitsPerPixel) {
  Free();
  if (bitsPerPixel != 24 || width < 1 || height < 1 || width > kImagingMaxSide ||
      height > kImagingMaxSide) {
    return false;
  }
  try {
    pixels_.resize(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
  } catch (const std::bad_alloc&) {
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

bool ImagingBitmap::ConvertFromDib(std::span<const uint8_t> header40,
                                   std::span<const uint8_t> pixels) {
  if (Empty() || header40.size() < kDibHeaderBytes) {
    return false;
  }
  const uint32_t size = ReadU32(header40, 0);
  const int32_t width = static_cast<int32_t>(ReadU32(header40, 4));
  const int32_t height = static_cast<int32_t>(ReadU32(header40, 8));
  const uint16_t planes = ReadU16(header40, 12);
  const uint16_t bitCount = ReadU16(header40, 14);
  const uint32_t compression = ReadU32(header40, 16);
  // 64 bits: negating INT32_MIN must not overflow.
  const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  if (size != kDibHeaderBytes || planes != 1 || bitCount != 24 || compression != 0 ||
      width != width_ || rows != height_) {
    return false;
  }
  const size_t rowBytes = RowBytes();
  const size_t stride = (rowBytes + 3) & ~size_t{3};
  if (pixels.size() < stride * static_cast<size_t>(height_)) {
    return false;
  }
  const bool bottomUp = height > 0;
  for (int y = 0; y < height_; ++y) {
    const int source = bottomUp ? height_ - 1 - y : y;
    const auto row = pixels.subspan(static_cast<size_t>(source) * stride, rowBytes);
    std::copy(row.begin(), row.end(),
              pixels_.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y) * rowBytes));
  }
  return true;
}

void ImagingBitmap::Free() {
  // clear() keeps the capacity; a held picture can be hundreds of MB.
  std::vector<uint8_t>().swap(pixels_);
  width_ = 0;
  height_ = 0;
}

std::span<const uint8_t> ImagingBitmap::Row(int y) const {
  if (y < 0 || y >= height_) {
    return {};
  }
  return std::span<const uint8_t>(pixels_).subspan(static_cast<size_t>(y) * RowBytes(), RowBytes());
}

}  // namespace rd420
