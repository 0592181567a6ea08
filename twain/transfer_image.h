#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "twain/view_host.h"

namespace rd420::twain {

#pragma pack(push, 2)
struct BitmapInfoHeader {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

// The picture size and its template file for a geometry; none when the
// display mode's low four bits are neither 1 nor 2.
struct ImageSize {
  int width;
  int height;
  const char* templateName;
};
std::optional<ImageSize> ImageSizeFor(const ImageGeometry& geometry);

// Reads a template bitmap's header: an optional 14-byte file header, then
// a 40-byte info header or a 12-byte core header widened to one, with
// biSizeImage and biClrUsed filled in when zero. Only a 24-bit, bottom-up,
// uncompressed header of exactly `size` without colour table is taken:
// anything else (a wrong size or depth, a truncated file) gives none.
std::optional<BitmapInfoHeader> ReadTemplateHeader(const std::filesystem::path& file,
                                                   const ImageSize& size);

struct FreeDeleter {
  void operator()(std::uint8_t* block) const { std::free(block); }
};
using DibBlock = std::unique_ptr<std::uint8_t, FreeDeleter>;

// The packed DIB handed to the application (header, then bottom-up BGR
// rows) and the cursor of a memory transfer through it. Runs under the data
// source's lock. The block comes from malloc: once taken, the application
// or the file transfer frees it, never this object.
class TransferImage {
 public:
  // False when the block cannot be allocated; `frame` holds at least the
  // header's rows (checked by the caller).
  bool Build(const BitmapInfoHeader& header, std::span<const std::uint8_t> frame);
  void Release();
  // Gives up the block and its size; null when empty.
  DibBlock Take(size_t& sizeBytes);

  bool Empty() const { return !block_; }
  const BitmapInfoHeader& Header() const;
  std::uint32_t BytesPerRow() const { return bytesPerRow_; }
  std::uint32_t RowsDelivered() const { return rowsDelivered_; }
  std::uint32_t RowsLeft() const;

  // Copies as many whole rows as fit in `out`, top row of the picture
  // first; R,G,B order when `swapRedBlue`. Returns the rows copied.
  std::uint32_t CopyStrip(std::span<std::uint8_t> out, bool swapRedBlue);

 private:
  DibBlock block_;
  size_t sizeBytes_ = 0;
  std::uint32_t bytesPerRow_ = 0;
  std::uint32_t rowsDelivered_ = 0;
};

// Row bytes of a DIB, padded to four.
inline std::uint32_t DibRowBytes(std::uint32_t bitCount, std::uint32_t width) {
  return (bitCount * width + 31) / 32 * 4;
}

}  // namespace rd420::twain
