#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rd420 {

inline constexpr int kImagingMaxSide = 16384;
inline constexpr size_t kDibHeaderBytes = 40;

// A held still picture: 24-bit BGR, rows stored top-down (row 0 is the top
// of the picture), width*3 bytes a row with no padding. Owned by one thread
// at a time, the one holding the picture; it has no locking of its own.
class ImagingBitmap {
 public:
  // Replaces the picture with a black one. False, leaving the bitmap
  // empty, unless bitsPerPixel is 24 and each side is 1..kImagingMaxSide,
  // or when the memory cannot be had.
  bool Create(int width, int height, int bitsPerPixel);

  // Copies a DIB's rows in, turning bottom-up rows the right way up.
  // `header40` is a little-endian BITMAPINFOHEADER: biSize 40, biPlanes 1,
  // biBitCount 24, biCompression 0, biWidth and |biHeight| equal to this
  // bitmap's (biHeight > 0 bottom-up, < 0 top-down). `pixels` holds the rows,
  // each padded to 4 bytes. False, changing nothing, when the header is not
  // that, the bitmap is empty or `pixels` is shorter than the rows need.
  bool ConvertFromDib(std::span<const uint8_t> header40, std::span<const uint8_t> pixels);

  void Free();

  bool Empty() const { return pixels_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Row y, counted from the top; empty when y is out of range.
  std::span<const uint8_t> Row(int y) const;
  std::span<const uint8_t> Pixels() const { return pixels_; }

 private:
  size_t RowBytes() const { return static_cast<size_t>(width_) * 3; }

  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace rd420
