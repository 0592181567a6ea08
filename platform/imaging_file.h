#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/imaging.h"

namespace rd420 {

enum class ImageFileFormat { kBmp, kJpeg };

// The quality factor the viewer passes for JPEG, the only one there is: it
// stands for quality 95 with full-resolution colour (4:4:4) and the accurate
// DCT, so the thin strokes and coloured edges of printed text stay crisp.
// Any other factor is written as this one.
inline constexpr int kJpegQualityFactor = 2;
inline constexpr int kJpegQuality = 95;

// The bytes of a file holding `bitmap`: a standard 24-bit uncompressed BMP
// (rows bottom-up, padded to 4 bytes) or a baseline JPEG through TurboJPEG.
// Empty when the bitmap is empty or the encoder fails.
std::vector<uint8_t> EncodeBmp(const ImagingBitmap& bitmap);
std::vector<uint8_t> EncodeJpeg(const ImagingBitmap& bitmap);

// Saves `bitmap` to `path` as `format` at 24 bits per pixel, a JPEG at
// kJpegQualityFactor whatever `qualityFactor` says, through WriteWholeFile:
// a failed save (a full disk, a folder that cannot be written, a file-size
// limit) leaves no partial file and whatever stood at `path` unchanged.
// False on any failure, with errno's reason in `error` when given. Any
// thread; the bitmap is borrowed for the call.
bool SaveBitmapFile(const std::string& path, const ImagingBitmap& bitmap, ImageFileFormat format,
                    int bitsPerPixel, int qualityFactor, std::string* error = nullptr);

// As SaveBitmapFile, but a file is never replaced: the bitmap goes to the
// first of nameFor(0), nameFor(1), ... that no file has, the name taken in
// one step, so a file another writer makes meanwhile is kept as well. False
// also when the first thousand names are all taken (EEXIST). Any thread.
bool SaveBitmapFileAsNew(const std::function<std::string(int)>& nameFor,
                         const ImagingBitmap& bitmap, ImageFileFormat format, int bitsPerPixel,
                         std::string* error = nullptr);

}  // namespace rd420
