#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "wire/frame_format.h"

namespace rd420::capture {

// Turns the bottom-up 24-bit picture `rows` by 180 degrees in place: each
// row's pixels reversed into `scratch`, then the scratch rows copied back
// last row first. `scratch` is at least as large as `rows`.
void RotatePicture180(std::span<uint8_t> rows, std::span<uint8_t> scratch, FrameGeometry geometry);

// One consumer's picture: the frame converted to bottom-up 24-bit rows,
// turned when asked. Owned by one consumer thread.
class PreviewPicture {
 public:
  explicit PreviewPicture(FrameGeometry geometry);

  void Convert(std::span<const uint8_t> frame, bool rotate);
  std::span<const uint8_t> Rows() const { return rows_; }
  FrameGeometry Geometry() const { return geometry_; }

 private:
  FrameGeometry geometry_;
  std::vector<uint8_t> rows_;
  std::vector<uint8_t> scratch_;
};

}  // namespace rd420::capture
