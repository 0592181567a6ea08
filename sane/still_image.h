#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sane/scan_options.h"
#include "wire/frame_format.h"

namespace rd420::sane {

// The `crop` of one camera frame as SANE hands it out: converted with the
// programs' colour conversion, red, green, blue, 8 bits each, rows from the
// top of the picture down (the frame's first row is the picture's bottom
// row). Throws std::bad_alloc when the memory cannot be had.
std::vector<uint8_t> StillImage(std::span<const uint8_t> frame, FrameGeometry geometry, Crop crop);

}  // namespace rd420::sane
