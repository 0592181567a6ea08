#include "twain/transfer_file.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/trace.h"
#include "twain/transfer_image.h"

namespace rd420::twain {

namespace {

#pragma pack(push, 2)
struct BitmapFileHeader {
  char bfType[2];
  std::uint32_t bfSize;
  std::uint16_t bfReserved1;
  std::uint16_t bfReserved2;
  std::uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BitmapFileHeader) == 14);

// Opens `name` for writing from its start. Only a regular file is
// replaced: a folder, a pipe, a device or a symbolic link (which could
// point at another user's file) is not. -1 when it cannot be opened.
int OpenForReplacing(const std::string& name) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(name, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return -1;
  }
  // O_NOFOLLOW: a link planted after the check is refused too.
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool WriteBmp(int fd, const std::uint8_t* dib, size_t dibBytes) {
  const auto& header = *reinterpret_cast<const BitmapInfoHeader*>(dib);
  BitmapFileHeader fileHeader{
      {'B', 'M'},
      static_cast<std::uint32_t>(sizeof fileHeader + dibBytes),
      0,
      0,
      static_cast<std::uint32_t>(sizeof fileHeader + sizeof header + header.biClrUsed * 4)};
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    return false;
  }
  const bool written = std::fwrite(&fileHeader, sizeof fileHeader, 1, file) == 1 &&
                       std::fwrite(dib, 1, dibBytes, file) == dibBytes;
  return std::fclose(file) == 0 && written;
}

// libtiff's messages go to the trace, never to the host's standard error
// or to handlers the host may have set for its own use of the library.
int TraceTiffMessage(TIFF*, void*, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  Trace("file transfer: %s: %s", module != nullptr ? module : "TIFF", text);
  return 1;
}

bool WriteTiff(int fd, const std::string& name, const std::uint8_t* dib) {
  const auto& header = *reinterpret_cast<const BitmapInfoHeader*>(dib);
  std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                           &TIFFOpenOptionsFree);
  TIFF* tiff = nullptr;
  if (options) {
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TraceTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TraceTiffMessage, nullptr);
    tiff = TIFFFdOpenExt(fd, name.c_str(), "w", options.get());
  }
  if (tiff == nullptr) {
    ::close(fd);
    return false;
  }
  const auto width = static_cast<std::uint32_t>(header.biWidth);
  const auto height = static_cast<std::uint32_t>(header.biHeight);
  // The DIB's resolution, in the unit it is stored in.
  const bool resolved = header.biXPelsPerMeter > 0 && header.biYPelsPerMeter > 0;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, resolved ? RESUNIT_CENTIMETER : RESUNIT_NONE);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, resolved ? header.biXPelsPerMeter / 100.0 : 1.0);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, resolved ? header.biYPelsPerMeter / 100.0 : 1.0);

  const std::uint32_t rowBytes = DibRowBytes(24, width);
  const std::uint8_t* bottomRow = dib + sizeof header;
  std::vector<std::uint8_t> rgb(size_t{width} * 3);
  bool written = true;
  for (std::uint32_t y = 0; y < height && written; ++y) {
    const std::uint8_t* bgr = bottomRow + size_t{height - 1 - y} * rowBytes;
    for (size_t x = 0; x < rgb.size(); x += 3) {
      rgb[x] = bgr[x + 2];
      rgb[x + 1] = bgr[x + 1];
      rgb[x + 2] = bgr[x];
    }
    written = TIFFWriteScanline(tiff, rgb.data(), y, 0) == 1;
  }
  written = written && TIFFFlush(tiff) == 1;
  TIFFClose(tiff);  // closes fd
  return written;
}

}  // namespace

bool WriteTransferFile(const std::string& name, TW_UINT16 format, const std::uint8_t* dib,
                       size_t dibBytes) {
  if (format != TWFF_BMP && format != TWFF_TIFF) {
    return false;
  }
  const int fd = OpenForReplacing(name);
  if (fd < 0) {
    return false;
  }
  const bool written = format == TWFF_BMP ? WriteBmp(fd, dib, dibBytes) : WriteTiff(fd, name, dib);
  if (!written) {
    std::remove(name.c_str());
  }
  return written;
}

}  // namespace rd420::twain
