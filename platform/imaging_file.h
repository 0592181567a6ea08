#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/imaging.h"

namespace rd420 {

enum class ImageFileFormat { kBmp, kJpeg };

// The quality factor the viewer passes for JPEG, and the encoder quality it
// stands for: 95 with full-resolution colour (4:4:4), so the thin strokes
// and coloured edges of printed text stay crisp.
inline constexpr int kJpegQualityFactor = 2;
inline constexpr int kJpegQualityForFactor2 = 95;

// The libjpeg quality a quality factor stands for: the lower the factor the
// better, 2 (and below) the best this adaptor writes.
int JpegQualityForFactor(int qualityFactor);

// The bytes of a file holding `bitmap`: a standard 24-bit uncompressed BMP
// (rows bottom-up, padded to 4 bytes) or a baseline JPEG through TurboJPEG.
// Empty when the bitmap is empty or the encoder fails.
std::vector<uint8_t> EncodeBmp(const ImagingBitmap& bitmap);
std::vector<uint8_t> EncodeJpeg(const ImagingBitmap& bitmap, int qualityFactor);

// Saves `bitmap` to `path` as `format` at 24 bits per pixel. The bytes go to
// a new file beside `path` that is renamed over it once written whole, so a
// failed save (a full disk, a folder that cannot be written, a file-size
// limit) leaves no partial file and whatever stood at `path` unchanged.
// False on any failure, with errno's reason in `error` when given. Any
// thread; the bitmap is borrowed for the call.
bool SaveBitmapFile(const std::string& path, const ImagingBitmap& bitmap, ImageFileFormat format,
                    int bitsPerPixel, int qualityFactor, std::string* error = nullptr);

}  // namespace rd420
