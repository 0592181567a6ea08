#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "wire/frame_format.h"

namespace rd420 {

// A converted frame as one block: a 40-byte BITMAPINFOHEADER followed by
// bottom-up 24-bit BGR rows (the frame's first row is the picture's bottom
// row). Display threads, the still thread, saving and printing use it.
// Owned by one thread at a time; sized once and reused for every frame.
class FrameBitmap {
 public:
  static constexpr size_t kHeaderBytes = 40;
  static constexpr int32_t kDisplayPelsPerMeter = 0;
  static constexpr int32_t kStillPelsPerMeter = 2834;  // 72 dots per inch

  explicit FrameBitmap(int32_t pelsPerMeter) : pelsPerMeter_(pelsPerMeter) {}

  // Sizes the block for `geometry` and writes its header; the pixels start
  // zeroed. Returns false, leaving the bitmap empty, when the memory cannot
  // be had.
  bool Allocate(FrameGeometry geometry);
  bool Empty() const { return block_.empty(); }

  // Converts one whole frame (width x height x 2 bytes) into the pixels.
  void ConvertFrom(std::span<const uint8_t> frame);

  FrameGeometry Geometry() const { return geometry_; }
  // The header and the pixels, as a DIB-consuming peer expects them.
  std::span<const uint8_t> Block() const { return block_; }
  std::span<const uint8_t> Pixels() const;
  std::span<uint8_t> Pixels();

 private:
  int32_t pelsPerMeter_;
  FrameGeometry geometry_;
  std::vector<uint8_t> block_;
};

}  // namespace rd420
